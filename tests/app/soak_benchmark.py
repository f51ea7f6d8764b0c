#!/usr/bin/env python3
"""Prints how the real syslog.exe's memory goes under a long stream of traffic, under Wine.

Not a test, and not in ctest: a soak runs for minutes or hours, for people
to read. tools/bench soak runs it inside a private network namespace, so
the only socket on UDP 514 is the program's.
  - numbered_sender.py, a process of its own, sends lines as real senders
    write them (words, digits and punctuation, 100 to 200 bytes) to
    127.0.0.1:514, RATE of each kind a second:
      mixed  lines without a line break (run on) and lines that end with
             one, interleaved, one of each in turn
      lines  lines that end with a line break only: the view never holds a
             long paragraph
  - every 10 s it prints the program's resident memory (VmRSS of its Wine
    process, from /proc), the view controls made so far, and what the
    kernel dropped at the program's socket;
  - at the end, the memory every 2 minutes, the highest of each half of
    the run, its growth over the last part of the run, and the controls
    made.
Controls are counted from outside: log_window_driver.exe controls notes
each distinct handle of the view (the main window's child with id 0) every
10 ms. A control that lives shorter than that can be missed, so the count
is a lower bound.

Usage: soak_benchmark.py SYSLOG_EXE DRIVER_EXE [--minutes N] [--traffic mixed|lines]
                         [--rate N]
--minutes: how long the traffic runs (30 unless given, at most a day);
--rate: datagrams of each kind a second (300 unless given).
"""

import argparse
import json
import os
import subprocess
import sys
import time

import end_to_end_test as e2e
import numbered_sender
import receive_benchmark as bench

SAMPLE_S = 10.0
SERIES_S = 120.0
# The growth is given over this last part of the run (or its second half,
# when shorter): a plateau shows as next to nothing.
GROWTH_TAIL_S = 600.0
# The highest value over this long stands for the memory at that time.
PEAK_WINDOW_S = 60.0
MAX_MINUTES = 24 * 60
MAX_RATE = 20000
CONTROL_LOOK_MS = 10
TRAFFIC = {
    # (ending, datagrams per RATE): one of each kind in turn
    "mixed": ("alternate", 2),
    "lines": ("newline", 1),
}
UNUSED_LENGTH = 200  # the syslog style writes lines of its own length
KIB = 1024


def resident_mib(pid):
    """VmRSS of process `pid`, in MiB."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / KIB
    raise SystemExit("no VmRSS for process %d" % pid)


class ControlWatcher:
    """log_window_driver.exe controls, noting every view control for the whole run."""

    def __init__(self, limit_s):
        self.path, self.process = bench.start_driver("controls", ".controls", "%d" % limit_s,
                                                     "%d" % CONTROL_LOOK_MS)
        # Ready, and the control that is there before any traffic seen.
        if not e2e.wait_until(lambda: len(self.lines()) >= 2, interval=0.02):
            self.stop()
            raise SystemExit("the control watcher did not start")

    def lines(self):
        with open(self.path) as raw:
            return [line for line in raw if line.endswith("\n")]

    def made(self):
        """Controls seen after the first one."""
        return max(0, len(self.lines()) - 2)

    def stop(self):
        bench.end_driver(self.process, self.path)
        made = self.made()
        os.unlink(self.path)
        if os.path.exists(self.path + ".stop"):
            os.unlink(self.path + ".stop")
        return made


def clock(seconds):
    return "%d:%02d" % (seconds // 60, seconds % 60)


def growth_per_minute(samples):
    """MiB a minute over the last GROWTH_TAIL_S of `samples` ((s, MiB) pairs), or its second half.

    Memory swings between steps as large texts come and go, so the highest
    value of the tail's first minute is compared with that of its last.
    """
    end_s = samples[-1][0]
    tail_s = min(GROWTH_TAIL_S, end_s / 2)
    start_s = end_s - tail_s
    if tail_s < 2 * PEAK_WINDOW_S:
        return None, 0
    first = max(mb for s, mb in samples if start_s <= s <= start_s + PEAK_WINDOW_S)
    last = max(mb for s, mb in samples if s >= end_s - PEAK_WINDOW_S)
    return (last - first) / (tail_s - PEAK_WINDOW_S) * 60, tail_s


def parse():
    parser = argparse.ArgumentParser(
        description="The resident memory of syslog.exe under a long stream of traffic.")
    parser.add_argument("syslog_exe")
    parser.add_argument("driver_exe")
    parser.add_argument("--minutes", type=float, default=30.0)
    parser.add_argument("--traffic", choices=sorted(TRAFFIC), default="mixed")
    parser.add_argument("--rate", type=int, default=300)
    arguments = parser.parse_args()
    if not 0 < arguments.minutes <= MAX_MINUTES:
        parser.error("--minutes must be above 0 and at most %d" % MAX_MINUTES)
    if not 0 < arguments.rate <= MAX_RATE:
        parser.error("--rate must be above 0 and at most %d" % MAX_RATE)
    _, kinds = TRAFFIC[arguments.traffic]
    if kinds * arguments.rate * arguments.minutes * 60 > numbered_sender.MAX_COUNT:
        parser.error("more than %d datagrams" % numbered_sender.MAX_COUNT)
    return arguments


def describe(traffic, rate):
    if traffic == "mixed":
        return ("%d lines without a line break and %d lines ending with one a second,"
                " interleaved" % (rate, rate))
    return "%d lines a second, each ending with a line break" % rate


def soak(program, traffic, rate, seconds):
    ending, kinds = TRAFFIC[traffic]
    count = int(kinds * rate * seconds)
    pid = program.process.pid
    watcher = ControlWatcher(seconds + 3 * SAMPLE_S)
    before = bench.SocketCounters()
    print("%8s %8s %9s %9s" % ("time", "RSS MiB", "controls", "dropped"), flush=True)
    sender = subprocess.Popen(
        [sys.executable, bench.SENDER, "%d" % count, "%g" % (kinds * rate), "%d" % UNUSED_LENGTH,
         ending, "syslog", "%d" % e2e.PORT],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    started = time.monotonic()
    samples = []
    try:
        for tick in range(int(seconds // SAMPLE_S) + 1):
            delay = started + tick * SAMPLE_S - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            if program.process.poll() is not None:
                raise SystemExit("syslog.exe ended during the soak, code %s"
                                 % program.process.returncode)
            mb = resident_mib(pid)
            samples.append((tick * SAMPLE_S, mb))
            print("%8s %8.1f %9d %9d" % (clock(tick * SAMPLE_S), mb, watcher.made(),
                                         bench.SocketCounters().drops - before.drops), flush=True)
        output, _ = sender.communicate(timeout=numbered_sender.OVERRUN_S + 60)
    finally:
        if sender.poll() is None:
            sender.kill()
            sender.wait()
        made = watcher.stop()
    sent = json.loads(output)
    dropped = bench.SocketCounters().drops - before.drops
    return samples, made, sent, dropped


def summary(samples, made, sent, dropped):
    series = [mb for s, mb in samples if s % SERIES_S == 0]
    print("RSS (MiB), every %d minutes from the start: %s" % (
        SERIES_S // 60, ", ".join("%.0f" % mb for mb in series)))
    half_s = samples[-1][0] / 2
    # The highest of each half tells a plateau from growth where the memory
    # swings between steps, as it does while large texts come and go.
    print("RSS at the start %.1f MiB, at the end %.1f MiB; highest %.1f MiB in the first half,"
          " %.1f MiB in the second" % (
              samples[0][1], samples[-1][1], max(mb for s, mb in samples if s <= half_s),
              max(mb for s, mb in samples if s >= half_s)))
    growth, over_s = growth_per_minute(samples)
    if growth is not None:
        print("growth over the last %s: %.2f MiB a minute (%.0f MiB a day at that rate)" % (
            clock(over_s), growth, growth * 60 * 24))
    print("view controls made during the run: %d (a lower bound: a control that lived"
          " shorter than %d ms could be missed)" % (made, CONTROL_LOOK_MS))
    print("sent %d datagrams in %.0f s (%d refused by the system); the kernel dropped %d at the"
          " program's socket" % (sent["sent"], sent["seconds"], sent["errors"], dropped),
          flush=True)


def main():
    arguments = parse()
    e2e.SYSLOG_EXE, e2e.DRIVER_EXE = arguments.syslog_exe, arguments.driver_exe
    seconds = arguments.minutes * 60
    print("soak: %s, to 127.0.0.1:514 for %s; net.core.rmem_max %s" % (
        describe(arguments.traffic, arguments.rate), clock(seconds),
        open("/proc/sys/net/core/rmem_max").read().strip()), flush=True)
    with e2e.Program() as program:
        results = soak(program, arguments.traffic, arguments.rate, seconds)
    summary(*results)


if __name__ == "__main__":
    main()
