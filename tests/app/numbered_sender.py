#!/usr/bin/env python3
"""Sends numbered datagrams to UDP 514 on loopback, as fast as asked, and says how it went.

A process of its own, so that the benchmark can watch the window while it
sends. Each datagram is "#NNNNNNN#" (its number, from 0), then filler, then the
ending. Bounded: at most MAX_COUNT datagrams, and it stops by itself when
sending takes far longer than the rate allows. Prints one line of JSON:
sent (datagrams the system took), errors (sends it refused), started and
last_send (Unix times) and seconds.

Usage: numbered_sender.py COUNT RATE LENGTH ENDING
RATE is datagrams a second, 0 for back to back; ENDING is "newline" or "none".
"""

import json
import socket
import sys
import time

LOOPBACK = "127.0.0.1"
PORT = 514
MAX_COUNT = 1000000
# Sending may fall behind a rate on a loaded machine; past this it is not the
# benchmark that was asked for, so it stops.
OVERRUN_S = 30.0
# Paced sending sleeps in steps this long at least; shorter sleeps cost more
# than they save.
MIN_SLEEP_S = 0.0005


def head(number):
    return b"#%07d#" % number


def main():
    if len(sys.argv) != 5 or sys.argv[4] not in ("newline", "none"):
        sys.exit(__doc__)
    count, rate, length = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
    if not 0 < count <= MAX_COUNT or rate < 0 or length < len(head(0)) + 1:
        sys.exit(__doc__)
    ending = b"\n" if sys.argv[4] == "newline" else b""
    filler = b"m" * (length - len(head(0)) - len(ending)) + ending
    deadline = (count / rate if rate else 0.0) + OVERRUN_S
    destination = (LOOPBACK, PORT)
    attempted = errors = 0
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        send = sender.sendto
        started = time.time()
        clock = time.monotonic
        first = clock()
        while attempted < count:
            now = clock()
            if now - first > deadline:
                break
            due = count if not rate else min(count, int((now - first) * rate) + 1)
            if due <= attempted:
                time.sleep(max(MIN_SLEEP_S, (attempted - (now - first) * rate) / rate))
                continue
            for number in range(attempted, due):
                try:
                    send(head(number) + filler, destination)
                except OSError:
                    errors += 1
            attempted = due
        last_send = time.time()
    print(json.dumps({"sent": attempted - errors, "errors": errors, "started": started,
                      "last_send": last_send, "seconds": last_send - started}), flush=True)


if __name__ == "__main__":
    main()
