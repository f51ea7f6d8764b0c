#!/usr/bin/env python3
"""Sends numbered datagrams to UDP 514 on loopback, as fast as asked, and says how it went.

A process of its own, so that the benchmark can watch the window while it
sends. Each datagram carries "#NNNNNNN#" (its number, from 0) and ends with
the ending ("alternate": the even numbers run on, the odd ones end with a
line break). Its style:
  filler  the token, then "m" up to LENGTH bytes
  syslog  lines as servers, firewalls and daemons write them, 100 to 200
          bytes of words, spaces, digits and punctuation, the token as a field
          (LENGTH is not used)
  word    the token, then letters up to LENGTH bytes: one unbroken word
Bounded: at most MAX_COUNT datagrams, and it stops by itself when sending
takes far longer than the rate allows. A paced run of more than
MADE_AT_ONCE datagrams makes them a second ahead, so that a soak of hours
does not hold all of them. Prints one line of JSON: sent
(datagrams the system took), errors (sends it refused), started and
last_send (Unix times) and seconds.

Usage: numbered_sender.py COUNT RATE LENGTH ENDING [STYLE [PORT]]
RATE is datagrams a second, 0 for back to back; ENDING is "newline",
"none" or "alternate"; STYLE is filler (the default), syslog or word; PORT is 514 unless given.
"""

import json
import socket
import sys
import time

LOOPBACK = "127.0.0.1"
PORT = 514
MAX_COUNT = 60000000  # a day at 600 a second, with room
# Made before the first send when this many or fewer (or when not paced), so
# that making them never slows the rate; more are made a second's worth at a
# time, at the rate's pace.
MADE_AT_ONCE = 1000000
MADE_AHEAD_S = 1.0
# Sending may fall behind a rate on a loaded machine; past this it is not the
# benchmark that was asked for, so it stops.
OVERRUN_S = 30.0
# Paced sending sleeps in steps this long at least; shorter sleeps cost more
# than they save.
MIN_SLEEP_S = 0.0005


STYLES = ("filler", "syslog", "word")
# Lines as real senders write them; {n} is the token, the rest varies with it.
SYSLOG_LINES = (
    "<4>Dec  9 04:15:{s:02d} gw01 kernel: [UFW BLOCK] IN=eth0 OUT= MAC=52:54:00:12:34:56 "
    "SRC=203.0.113.{a} DST=192.0.2.10 LEN=60 TTL={t} PROTO=TCP SPT={p} DPT=22 SYN ID={n}",
    "<38>Dec  9 04:15:{s:02d} web02 sshd[{p}]: Accepted publickey for deploy from "
    "198.51.100.{a} port {p} ssh2: ED25519 SHA256:kq3Vb8 ({n})",
    "<86>Dec  9 04:15:{s:02d} db01 CRON[{t}]: pam_unix(cron:session): session opened for "
    "user postgres(uid={a}) by (uid=0) job {n}",
    "<134>1 2026-12-09T04:15:{s:02d}.{p}Z nas01 smbd {t} - - client 192.0.2.{a} opened file "
    "share/backups/2026-12/volume.tar, request {n}, {p} bytes",
    "<14>Dec  9 04:15:{s:02d} sw-core-3 %LINK-3-UPDOWN: Interface GigabitEthernet1/0/{t}, "
    "changed state to up; seq {n}",
)
WORD_LETTERS = b"abcdefghijklmnopqrstuvwxyz"
ENDINGS = ("newline", "none", "alternate")


def head(number):
    return b"#%07d#" % number


def message(style, number, length, ending):
    """The datagram numbered `number`, as bytes; `ending` is b"\n" or b""."""
    if style == "syslog":
        line = SYSLOG_LINES[number % len(SYSLOG_LINES)].format(
            n=head(number).decode(), s=number % 60, a=number % 250, t=30 + number % 220,
            p=20000 + number % 40000)
        return line.encode() + ending
    pad = length - len(head(number)) - len(ending)
    if style == "word":
        body = (WORD_LETTERS * (pad // len(WORD_LETTERS) + 1))[:pad]
    else:
        body = b"m" * pad
    return head(number) + body + ending


def ending_of(number, ending):
    if ending == "alternate":
        return b"\n" if number % 2 else b""
    return b"\n" if ending == "newline" else b""


class Messages:
    """The datagrams numbered 0..count-1, made all at once or a batch at a time."""

    def __init__(self, style, count, length, ending, batch):
        self.style, self.count, self.length, self.ending, self.batch = (
            style, count, length, ending, batch)
        self.first, self.made = 0, self.make(0)

    def make(self, first):
        return [message(self.style, number, self.length, ending_of(number, self.ending))
                for number in range(first, min(self.count, first + self.batch))]

    def __getitem__(self, number):
        if not 0 <= number - self.first < len(self.made):
            self.first, self.made = number, self.make(number)
        return self.made[number - self.first]


def main():
    if not 5 <= len(sys.argv) <= 7 or sys.argv[4] not in ENDINGS:
        sys.exit(__doc__)
    count, rate, length = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
    style = sys.argv[5] if len(sys.argv) > 5 else "filler"
    port = int(sys.argv[6]) if len(sys.argv) > 6 else PORT
    if (not 0 < count <= MAX_COUNT or rate < 0 or length < len(head(0)) + 1
            or style not in STYLES or (not rate and count > MADE_AT_ONCE)):
        sys.exit(__doc__)
    batch = count if count <= MADE_AT_ONCE else max(1, int(rate * MADE_AHEAD_S))
    messages = Messages(style, count, length, sys.argv[4], batch)
    deadline = (count / rate if rate else 0.0) + OVERRUN_S
    destination = (LOOPBACK, port)
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
                    send(messages[number], destination)
                except OSError:
                    errors += 1
            attempted = due
        last_send = time.time()
    print(json.dumps({"sent": attempted - errors, "errors": errors, "started": started,
                      "last_send": last_send, "seconds": last_send - started}), flush=True)


if __name__ == "__main__":
    main()
