#!/usr/bin/env python3
"""Prints how many datagrams a second the real syslog.exe shows, under Wine.

Not a test: tools/bench runs it inside a private network namespace.
Usage: receive_benchmark.py SYSLOG_EXE DRIVER_EXE
"""

import re
import sys
import time

import end_to_end_test as e2e

BATCH = 100            # well below what the socket's receive queue holds
DATAGRAMS = 1000
DEADLINE_S = 120.0     # per shape; the figure then covers what was shown by then
SHAPES = (
    ("40-byte lines", 40, b"\n"),
    ("200-byte lines", 200, b"\n"),
    ("100-byte messages without line breaks, as most senders send", 100, b""),
)


def highest_shown(text):
    numbers = re.findall(r"#(\d{5})#", text)
    return max(map(int, numbers)) if numbers else -1


def measure(program, length, ending):
    program.clear()
    started = time.monotonic()
    sent = 0
    while sent < DATAGRAMS and time.monotonic() - started < DEADLINE_S:
        for index in range(sent, sent + BATCH):
            head = b"#%05d#" % index
            e2e.send(head + b"m" * (length - len(head) - len(ending)) + ending)
        sent += BATCH
        remaining = max(1.0, DEADLINE_S - (time.monotonic() - started))
        program.wait_text(lambda text, last=sent - 1: highest_shown(text) >= last, remaining)
    shown = highest_shown(program.text()) + 1
    return shown, time.monotonic() - started


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    e2e.SYSLOG_EXE, e2e.DRIVER_EXE = sys.argv[1], sys.argv[2]
    with e2e.Program() as program:
        for name, length, ending in SHAPES:
            shown, seconds = measure(program, length, ending)
            print("%-60s %6.1f datagrams/s (%d shown in %.1f s)"
                  % (name, shown / seconds, shown, seconds), flush=True)


if __name__ == "__main__":
    main()
