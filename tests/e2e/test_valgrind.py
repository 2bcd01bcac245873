"""The real viewer under valgrind memcheck: start, scroll, quit. No invalid
access and no leak may come from the viewer's own code."""

import xml.etree.ElementTree as ET
from pathlib import Path

from viewer import DEMO, DEMO_OUTPUT, Viewer, demo_at_start, make_folder

ALLOCATORS = {"malloc", "calloc", "realloc", "operator new(unsigned long)", "operator new[](unsigned long)"}


def frames(error):
    return [(f.findtext("obj", ""), f.findtext("fn", "")) for f in error.find("stack").findall("frame")]


def is_ours(obj):
    return Path(obj).name == "tilemap-viewer"


def own_faults(report):
    faults = []
    for error in report.findall("error"):
        kind = error.findtext("kind")
        stack = frames(error)
        if kind.startswith("Leak_"):
            # A leak is ours when the code that asked for the memory is ours.
            callers = [obj for obj, fn in stack if fn not in ALLOCATORS]
            if callers and is_ours(callers[0]):
                faults.append(error)
        elif not (stack and "ld-linux" in stack[0][0]):
            # The dynamic loader's word-at-a-time string reads while it opens
            # libraries are known false alarms; every other memory error counts.
            faults.append(error)
    return faults


def describe(error):
    what = error.findtext("what") or error.find("xwhat").findtext("text")
    return what + "\n" + "\n".join(f"    {Path(obj).name} {fn}" for obj, fn in frames(error)[:12])


def test_a_scripted_run_has_no_memory_errors_of_our_own(display, running, tmp_path):
    folder = make_folder(tileset=DEMO / "final.png", map_text=(DEMO / "main.json").read_bytes())
    report_pattern = str(tmp_path / "memcheck.%p.xml")
    viewer = running(Viewer(display, folder, wrapper=(
        "valgrind", "--tool=memcheck", "--leak-check=full", "--errors-for-leak-kinds=definite",
        "--keep-debuginfo=yes", "--num-callers=40", "--xml=yes", f"--xml-file={report_pattern}")))
    viewer.wait_until_running(DEMO_OUTPUT, demo_at_start(), seconds=240)
    viewer.hold("Right", "Down", seconds=1.0)
    viewer.wait_for_still_picture(seconds=120)
    assert viewer.quit_with("Escape", timeout=120) == (0, DEMO_OUTPUT)

    report = ET.parse(tmp_path / f"memcheck.{viewer.process.pid}.xml").getroot()
    faults = own_faults(report)
    assert not faults, "\n\n".join(describe(e) for e in faults)
