"""Waits on a viewer that may be slow for a while: a loaded machine, a new
GL context, Wine queueing frames. Every wait here is bounded in time, never
in a count of tries, so a stall makes a test wait longer, not fail."""

import time

POLL = 0.02


def hold_until(press, release, look, done, seconds):
    """Presses, then looks until `done(look())` holds, and lets go whatever
    happens. Returns what the last look saw; fails only once `seconds` have
    passed without it."""
    deadline = time.monotonic() + seconds
    press()
    try:
        while True:
            seen = look()
            if done(seen):
                return seen
            if time.monotonic() > deadline:
                raise AssertionError(f"held for {seconds} s without reaching what was waited for")
            time.sleep(POLL)
    finally:
        release()


def observed(attempt, seconds):
    """Runs `attempt` again and again for up to `seconds`, yielding each
    result it could observe (anything but None): a measurement spoilt by the
    machine (a stalled frame) is no result, and only makes the caller wait."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = attempt()
        if result is not None:
            yield result
