"""Checks the cross-built programs as Windows will load them: the viewer a
GUI-subsystem program (no console of its own), the importer beside it a
console program (it is used from a command prompt too); each needs only
Windows' own DLLs and the ones shipped beside it, and those in turn likewise.
    python3 check_windows_exe.py <folder>/tilemap-viewer.exe"""

import subprocess
import sys
from pathlib import Path

OBJDUMP = "x86_64-w64-mingw32-objdump"
# DLLs every Windows has (msvcrt.dll, the C runtime mingw-w64 builds on, included).
WINDOWS_OWN = {"advapi32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
               "oleaut32.dll", "setupapi.dll", "shell32.dll", "user32.dll", "version.dll", "winmm.dll"}
# The programs the build makes, each with the subsystem it must have.
PROGRAMS = {"tilemap-viewer.exe": "(Windows GUI)", "tilemap-import.exe": "(Windows CUI)"}


def headers(path):
    return subprocess.run([OBJDUMP, "-p", str(path)], capture_output=True, text=True, check=True).stdout


def imports(text):
    return [line.split(":", 1)[1].strip() for line in text.splitlines() if "DLL Name:" in line]


def check(exe, subsystem_wanted, shipped):
    """The problems found in one exe, and the shipped DLLs it loads."""
    if not exe.is_file():
        return [f"{exe.name} is missing from {exe.parent}"], set()
    problems = []
    text = headers(exe)
    subsystem = [line for line in text.splitlines() if line.startswith("Subsystem")]
    if not subsystem or subsystem_wanted not in subsystem[0]:
        problems.append(f"{exe.name} is not a {subsystem_wanted.strip('()')} program: {subsystem}")
    checked, waiting = set(), [(exe.name, text)]
    while waiting:
        name, text = waiting.pop()
        for dll in imports(text):
            key = dll.lower()
            if key in checked or key in WINDOWS_OWN:
                continue
            checked.add(key)
            if key in shipped:
                waiting.append((dll, headers(shipped[key])))
            else:
                problems.append(f"{name} needs {dll}, which is neither Windows' own nor shipped beside it")
    return problems, checked


def main(viewer):
    folder = Path(viewer).parent
    shipped = {p.name.lower(): p for p in folder.glob("*.dll")}
    failed = False
    for name, subsystem in PROGRAMS.items():
        problems, loaded = check(folder / name, subsystem, shipped)
        failed = failed or bool(problems)
        print("\n".join(problems) or f"{name}: {subsystem.strip('()')}; DLLs shipped beside it: "
              + ", ".join(sorted(loaded)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
