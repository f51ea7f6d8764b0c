#!/usr/bin/env python3
"""Prints how completely and how fast the real syslog.exe shows what it receives, under Wine.

Not a test: tools/bench runs it inside a private network namespace. Numbered
datagrams ("#NNNNNNN#" then filler) go to UDP 514 on loopback from this
process; log_window_driver.exe follows the view from its own process and
records every number that passes through it, so the delivered share and
order are what a user could have seen in the window.

Usage: receive_benchmark.py SYSLOG_EXE DRIVER_EXE [phase...]
Phases: burst rate2000 rate20000 paragraph idle closeflood (all by default).
"""

import os
import socket
import subprocess
import sys
import tempfile
import time

import end_to_end_test as e2e

MESSAGE_BYTES = 100
SETTLE_S = 60.0            # how long to wait for the last text after the last send
FLOOD_SETTLE_S = 240.0     # a flood takes the view minutes to show under Wine
IDLE_S = 30.0
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def message(number, length, ending):
    head = b"#%07d#" % number
    return head + b"m" * (length - len(head) - len(ending)) + ending


class Follower:
    """log_window_driver.exe follow, in its own process, for one phase."""

    def __init__(self, limit_s):
        self.path = tempfile.NamedTemporaryFile(suffix=".follow", delete=False).name
        self.process = subprocess.Popen([e2e.WINE, e2e.DRIVER_EXE, "follow", self.path,
                                         "%d" % limit_s], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def readings(self):
        with open(self.path) as lines:
            for line in lines:
                fields = line.split()
                if not fields or not line.endswith("\n"):
                    continue
                gap = len(fields) > 1 and fields[1] == "gap"
                numbers = [int(field) for field in fields[2 if gap else 1:]]
                yield float(fields[0]), gap, numbers

    def last_seen(self):
        last = None
        for _, _, numbers in self.readings():
            if numbers:
                last = numbers[-1]
        return last

    def stop(self):
        open(self.path + ".stop", "w").close()
        try:
            self.process.wait(timeout=e2e.PATIENCE_S)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        result = list(self.readings())
        os.unlink(self.path)
        os.unlink(self.path + ".stop")
        return result


def send_paced(sender, count, rate, length, ending):
    """Sends `count` numbered datagrams at `rate` a second (0: back to back); returns the send times."""
    started = time.monotonic()
    for number in range(count):
        if rate:
            due = started + number / rate
            delay = due - time.monotonic()
            if delay > 0.0005:
                time.sleep(delay)
        sender.sendto(message(number, length, ending), (e2e.LOOPBACK, e2e.PORT))
    return started, time.time()


def run_phase(program, name, count, rate, length=MESSAGE_BYTES, ending=b"\n", settle=SETTLE_S):
    program.clear()
    duration = count / rate if rate else 1.0
    follower = Follower(duration + settle + 30)
    time.sleep(0.5)  # the follower's Wine process is up before the first send
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        started, last_send = send_paced(sender, count, rate, length, ending)
        send_seconds = time.monotonic() - started
    e2e.wait_until(lambda: follower.last_seen() == count - 1, settle, interval=0.05)
    readings = follower.stop()
    seen = [number for _, _, numbers in readings for number in numbers]
    gaps = sum(1 for _, gap, _ in readings if gap)
    in_order = all(a < b for a, b in zip(seen, seen[1:]))
    shown = len(set(seen) & set(range(count)))
    last_shown = max((when for when, _, numbers in readings if count - 1 in numbers), default=None)
    latency = "%.0f ms" % ((last_shown - last_send) * 1000) if last_shown else "never"
    print("%-44s %6d sent in %5.1f s (%7.0f/s)  shown %6.2f%%  %-9s  gaps %d  last text %s after"
          " the last send" % (name, count, send_seconds, count / max(send_seconds, 1e-9),
                               100.0 * shown / count, "in order" if in_order else "REORDERED",
                               gaps, latency), flush=True)
    missing = sorted(set(range(count)) - set(seen))
    if missing:
        ranges, start = [], missing[0]
        for a, b in zip(missing, missing[1:] + [None]):
            if b != a + 1:
                ranges.append("%d-%d" % (start, a) if a != start else "%d" % a)
                start = b
        print("    not seen: %s%s" % (", ".join(ranges[:8]), " ..." if len(ranges) > 8 else ""),
              flush=True)
    if program.process.poll() is not None:
        raise SystemExit("syslog.exe ended during the phase, code %s" % program.process.returncode)


def process_ticks(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def find_pids(predicate):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as raw:
                command = raw.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if predicate(command):
            pids.append(int(entry))
    return pids


def idle_cpu(program):
    receivers = find_pids(lambda command: "syslog.exe" in command and "python" not in command)
    servers = find_pids(lambda command: "wineserver" in command)
    before = {pid: process_ticks(pid) for pid in receivers + servers}
    time.sleep(IDLE_S)
    share = {pid: 100.0 * (process_ticks(pid) - ticks) / CLOCK_TICKS / IDLE_S
             for pid, ticks in before.items()}
    print("%-44s syslog.exe %.2f%% of one core, wineserver %.2f%% (over %.0f s)"
          % ("idle CPU", sum(share[pid] for pid in receivers),
             sum(share[pid] for pid in servers), IDLE_S), flush=True)


def answer_time(program):
    """Seconds until the window answers a button press, with the driver's own start-up."""
    started = time.monotonic()
    e2e.driver("click", "autoscroll")
    e2e.driver("click", "autoscroll")
    return (time.monotonic() - started) / 2


def flood_then_close(program):
    """A flood that leaves minutes of text waiting, then the user closes the window."""
    program.clear()
    idle = answer_time(program)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sender:
        send_paced(sender, 100000, 20000, MESSAGE_BYTES, b"\n")
    busy = answer_time(program)
    print("%-44s %.2f s idle, %.2f s with a flood waiting (driver start-up included)"
          % ("window answers a button press", idle, busy), flush=True)
    code, seconds = program.close()
    print("%-44s exit code %d after %.2f s" % ("close with a flood waiting", code, seconds),
          flush=True)


def close_time(program):
    code, seconds = program.close()
    print("%-44s exit code %d after %.2f s" % ("close right after the paragraph stream", code,
                                                seconds), flush=True)


PHASES = {
    "burst": lambda p: run_phase(p, "burst of 10,000 back to back, 100-byte lines", 10000, 0),
    "rate2000": lambda p: run_phase(p, "2,000/s for 10 s, 100-byte lines", 20000, 2000),
    "rate20000": lambda p: run_phase(p, "20,000/s for 10 s, 100-byte lines", 200000, 20000,
                                     settle=FLOOD_SETTLE_S),
    "paragraph": lambda p: run_phase(p, "100/s for 60 s, 100 bytes, no line breaks", 6000, 100,
                                     ending=b""),
    "idle": idle_cpu,
    "closeflood": flood_then_close,
}


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    e2e.SYSLOG_EXE, e2e.DRIVER_EXE = sys.argv[1], sys.argv[2]
    requested = sys.argv[3:]
    phases = ([phase for phase in requested if phase != "closeflood"] if requested
              else ["idle", "burst", "rate2000", "rate20000", "paragraph"])
    if phases:
        with e2e.Program() as program:
            for phase in phases:
                PHASES[phase](program)
            if phases[-1] == "paragraph":
                close_time(program)
    # Last, in a program of its own: it ends that program.
    if not requested or "closeflood" in requested:
        with e2e.Program() as program:
            flood_then_close(program)


if __name__ == "__main__":
    main()
