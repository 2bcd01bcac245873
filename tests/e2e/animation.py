"""The animation clock, as the editor walks it and the viewer plays view.json."""

import copy


def frame_at(durations, t):
    """The index of the frame that shows at `t` ms: from frame 0, while the
    frame's duration is above 0 and the time left is past it, take it off and
    go on (after the last frame, the first). A time on a boundary still shows
    the earlier frame; a frame of duration 0 stops the walk there."""
    index, left = 0, t
    if durations and sum(durations) > 0 and all(d > 0 for d in durations):
        left %= sum(durations) or 1
        if left == 0 and t > 0:  # the end of a whole cycle still shows the last frame
            return len(durations) - 1
    while durations[index] > 0 and left > durations[index]:
        left -= durations[index]
        index = (index + 1) % len(durations)
    return index


def tile_at(frames, t):
    """The tile of a list of {"tile", "duration"} frames that shows at `t` ms."""
    return frames[frame_at([f["duration"] for f in frames], t)]["tile"]


def map_at(map_doc, view_doc, t):
    """The map as the viewer draws it at `t` ms: each cell whose value
    view.json animates holds the value of the frame that shows then."""
    shown = {a["tile"]: tile_at(a["frames"], t) for a in (view_doc or {}).get("animations", [])}
    if not shown:
        return map_doc
    doc = copy.deepcopy(map_doc)
    for layer in doc["layers"]:
        layer["data"] = [shown.get(v, v) for v in layer.get("data", [])]
    return doc
