#!/usr/bin/env python3
"""Prints how many datagrams a second the real syslog.exe shows, under Wine.

Not a test: run it inside the test namespace, for example
    BUILD_DIR=build bash tools/test -R receive_benchmark -V
after configuring with SYSLOG_BENCHMARKS=ON, or by hand like the end-to-end
test: receive_benchmark.py SYSLOG_EXE DRIVER_EXE
"""

import sys
import time

import end_to_end_test as e2e

BATCH = 200        # below what the socket's receive queue holds
BATCHES = 10


def measure(program, line_length):
    program.clear()
    body = b"m" * (line_length - 7)
    started = time.monotonic()
    for batch in range(BATCHES):
        for index in range(BATCH):
            e2e.send(b"%05d %s\n" % (batch * BATCH + index, body))
        last = "%05d " % (batch * BATCH + BATCH - 1)
        program.wait_text(lambda text, last=last: last in text, timeout=120)
    seconds = time.monotonic() - started
    return BATCH * BATCHES / seconds


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    e2e.SYSLOG_EXE, e2e.DRIVER_EXE = sys.argv[1], sys.argv[2]
    with e2e.Program() as program:
        for line_length in (40, 200):
            rate = measure(program, line_length)
            print("shown: %.0f datagrams/s (%d-byte lines, %d datagrams in batches of %d)"
                  % (rate, line_length, BATCH * BATCHES, BATCH))


if __name__ == "__main__":
    main()
