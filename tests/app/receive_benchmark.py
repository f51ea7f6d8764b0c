#!/usr/bin/env python3
"""Prints how much the real syslog.exe receives under traffic and how soon it shows it, under Wine.

Not a test: tools/bench runs it inside a private network namespace, so the
only socket on UDP 514 is the program's. For each case:
  - numbered_sender.py, a process of its own, sends numbered datagrams to
    127.0.0.1:514: "#NNNNNNN#" and filler (120 bytes), lines as real senders
    write them (words, digits and punctuation, 100 to 200 bytes, the number
    as a field), or one unbroken 120-byte word;
  - received = sent - dropped, where dropped is what the kernel counted for
    the program's socket (the last column of /proc/net/udp) during the case:
    exact on loopback;
  - log_window_driver.exe watch reads the view from its own process every few
    milliseconds and notes when its last number changes, which gives the time
    from the last send until the last message is shown;
  - the view's final text must end with the last message, after an unbroken
    run of the numbers before it (the view keeps about the last 64K
    characters, so the run is at most a few hundred messages long);
  - log_window_driver.exe respond asks the window 20 times a second whether
    it answers (WM_NULL) and gives the median and the worst answer time;
  - the CPU that the window and the receiving threads used, from /proc (Wine
    gives Linux threads the names the program gives its threads), as a
    share of one core over the case;
  - for the cases marked so, the same traffic to rsyslog (imudp on port
    10514, its buffer as large as the program's), right after: how much of
    it rsyslog received, as the anchor that the program is measured against.
The view may skip ahead to the newest text under load, so what passed
through it is not the measure, except with the Save dialog open, where the
question is whether every text is shown while the dialog is open.

Usage: receive_benchmark.py SYSLOG_EXE DRIVER_EXE [--short] [case...]
Cases: idle burst10k burst100k rate20000 dialog paragraph runon100 runon2000
word20000 press (all by default).
--short scales every duration down to a fifth, for a quick check that all works.
"""

import json
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

import end_to_end_test as e2e
import numbered_sender

SENDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "numbered_sender.py")
MESSAGE_BYTES = 120
SHORT_SCALE = 0.2
SETTLE_S = 60.0            # how long to wait for the last message after the last send
DIALOG_SETTLE_S = 5.0      # with the dialog open: long enough to tell late from never
# The view has settled when the socket is empty and its last number has not
# changed for this long: a dropped last message would otherwise be waited for.
QUIET_S = 3.0
POLL_S = 0.05
IDLE_S = 30.0
PRESS_COUNT = 10           # even, so that Autoscroll ends as it began
IDLE_PRESS_COUNT = 4
FLOOD_RATE = 20000
FLOOD_S = 10.0
FLOOD_LEAD_S = 1.0         # presses start once the flood has been running this long
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
TOKEN = re.compile(r"#(\d{7})#")
RESPOND_PAUSE_MS = 50      # the window is asked 20 times a second
WINDOW_THREAD, RECEIVE_THREAD = "syslog-window", "syslog-receive"
ANCHOR_PORT = 10514
ANCHOR_RECEIVE_BUFFER = 32 << 20  # what the program asks for; both get min(this, rmem_max)


def message(number, length, ending, style="filler"):
    """A message as the view shows it: a line break reads back as CR LF."""
    sent = numbered_sender.message(style, number, length, ending.encode())
    return sent.decode().replace("\n", "\r\n")


class SocketCounters:
    """The program's socket (UDP 514 in this namespace), or another port's, as the kernel counts it."""

    def __init__(self, port_suffix=None):
        port_suffix = port_suffix or e2e.PROC_NET_UDP_PORT
        self.drops = self.queued = 0
        with open("/proc/net/udp") as table:
            next(table)
            for line in table:
                fields = line.split()
                if fields[1].endswith(port_suffix):
                    self.queued += int(fields[4].split(":")[1], 16)
                    self.drops += int(fields[-1])
        with open("/proc/net/snmp") as snmp:
            udp = [line.split()[1:] for line in snmp if line.startswith("Udp:")]
        counters = dict(zip(udp[0], (int(value) for value in udp[1])))
        # Counted when a program reads a datagram; nothing else here reads UDP.
        self.read = counters["InDatagrams"]


class Sender:
    """numbered_sender.py, running."""

    def __init__(self, count, rate, ending="\n", style="filler", port=e2e.PORT):
        self.count, self.rate = count, rate
        self.process = subprocess.Popen(
            [sys.executable, SENDER, "%d" % count, "%g" % rate, "%d" % MESSAGE_BYTES,
             "newline" if ending == "\n" else "none", style, "%d" % port],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)

    def finish(self):
        expected = self.count / self.rate if self.rate else 1.0
        output, _ = self.process.communicate(timeout=expected + 60)
        if self.process.returncode != 0:
            raise SystemExit("the sender failed with code %d" % self.process.returncode)
        return json.loads(output)


class Watcher:
    """log_window_driver.exe watch, in its own process, for one case."""

    def __init__(self, target, limit_s):
        self.path, self.process = start_driver("watch", ".watch", "%d" % target,
                                               "%d" % limit_s)
        if not e2e.wait_until(lambda: self.lines()[:1] == ["ready"], interval=0.02):
            self.stop()
            raise SystemExit("the view watcher did not start")

    def lines(self):
        with open(self.path) as raw:
            return [line.rstrip("\n") for line in raw if line.endswith("\n")]

    def readings(self):
        """(unix time, first number of the view's last run, last number) per change."""
        return [(float(when), int(first), int(last))
                for when, first, last in (line.split() for line in self.lines()[1:])]

    def running(self):
        return self.process.poll() is None

    def stop(self):
        end_driver(self.process, self.path)
        result = self.readings() if self.lines() else []
        os.unlink(self.path)
        os.unlink(self.path + ".stop")
        return result


def start_driver(command, suffix, *arguments):
    """Starts a driver command that writes to a new temporary file; returns (path, process)."""
    path = tempfile.NamedTemporaryFile(suffix=suffix, delete=False).name
    process = subprocess.Popen([e2e.WINE, e2e.DRIVER_EXE, command, path, *arguments],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    return path, process


def end_driver(process, path):
    """Asks a driver command that writes to `path` to end, and waits until it has."""
    open(path + ".stop", "w").close()
    try:
        process.wait(timeout=e2e.PATIENCE_S)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Responder:
    """log_window_driver.exe respond, asking the window all along one case."""

    def __init__(self, limit_s):
        self.path, self.process = start_driver("respond", ".answers", "%d" % limit_s,
                                               "%d" % RESPOND_PAUSE_MS)

    def stop(self):
        """(median ms, worst ms, unanswered) of the answers, or None."""
        end_driver(self.process, self.path)
        with open(self.path) as raw:
            fields = raw.read().split()
        os.unlink(self.path)
        os.unlink(self.path + ".stop")
        if len(fields) < 4 or int(fields[0]) == 0:
            return None
        return float(fields[3]), float(fields[2]), int(fields[1])


def thread_ticks(pid):
    """CPU ticks (user + system) of each named thread of process `pid`."""
    ticks = {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, task)) as comm:
                name = comm.read().strip()
            ticks[name] = ticks.get(name, 0) + process_ticks_path(
                "/proc/%d/task/%s/stat" % (pid, task))
        except OSError:
            continue
    return ticks


def process_ticks_path(path):
    with open(path) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def wait_until_settled(watcher, settle_s):
    """Until the watcher saw the last message, the view went quiet, or `settle_s` passed."""
    deadline = time.monotonic() + settle_s
    changed, last = time.monotonic(), None
    while watcher.running() and time.monotonic() < deadline:
        readings = watcher.readings()
        if readings and readings[-1] != last:
            changed, last = time.monotonic(), readings[-1]
        if SocketCounters().queued == 0 and time.monotonic() - changed > QUIET_S:
            break
        time.sleep(POLL_S)
    return watcher.stop()


def trailing_run(text):
    """(first, last) numbers of the unbroken run that ends the text, or None."""
    numbers = [int(token) for token in TOKEN.findall(text)]
    if not numbers:
        return None
    first = len(numbers) - 1
    while first > 0 and numbers[first - 1] + 1 == numbers[first]:
        first -= 1
    return numbers[first], numbers[-1]


def longest_pause(readings, since, until):
    """The longest time between `since`, the view's changes of its last number, and `until`."""
    times = [since] + [when for when, _, _ in readings if since <= when <= until] + [until]
    return max(b - a for a, b in zip(times, times[1:]))


def passed_through(readings, count):
    """How many of the numbers 0..count-1 stood in an unbroken run in the view at some reading."""
    seen, reach = 0, -1
    for _, first, last in sorted(readings, key=lambda reading: reading[1]):
        first, last = max(first, reach + 1), min(last, count - 1)
        if last >= first:
            seen += last - first + 1
            reach = last
    return seen


class Case:
    """One traffic case: the figures of one row of the table."""

    def __init__(self, program, name, count, rate, ending="\n", style="filler", anchor=False):
        self.program, self.name, self.count, self.rate, self.ending = (
            program, name, count, rate, ending)
        self.style, self.anchor = style, anchor

    def run(self, settle_s=SETTLE_S, clear=True):
        if clear:
            self.program.clear()
        before = SocketCounters()
        duration = self.count / self.rate if self.rate else 1.0
        watcher = Watcher(self.count - 1, duration + settle_s + 30)
        responder = Responder(duration + settle_s + 60)
        ticks_before, started = thread_ticks(self.program.process.pid), time.monotonic()
        sender = Sender(self.count, self.rate, self.ending, self.style)
        self.sent = sender.finish()
        self.dropped = SocketCounters().drops - before.drops
        self.readings = wait_until_settled(watcher, settle_s)
        self.read = SocketCounters().read - before.read
        ticks_after, elapsed = thread_ticks(self.program.process.pid), time.monotonic() - started
        self.cpu = {name: 100.0 * (ticks_after.get(name, 0) - ticks) / CLOCK_TICKS / elapsed
                    for name, ticks in ticks_before.items()}
        self.answers = responder.stop()
        self.text = self.program.text()
        if self.program.process.poll() is not None:
            raise SystemExit("syslog.exe ended during the case, code %s"
                             % self.program.process.returncode)
        return self

    def shown_last(self):
        """Seconds from the last send until the last message was shown, or None."""
        for when, _, last in self.readings:
            if last == self.count - 1:
                return when - self.sent["last_send"]
        return None

    def row(self):
        sent = self.sent["sent"]
        received = sent - self.dropped
        latency = self.shown_last()
        # Until the last message showed; else until the last change or the
        # last send, whichever came later (the wait for quiet is not a pause).
        if latency is not None:
            until = self.sent["last_send"] + latency
        else:
            until = max([self.sent["last_send"]] + [when for when, _, _ in self.readings])
        pause = longest_pause(self.readings, self.sent["started"], until)
        run = trailing_run(self.text)
        ends = self.text.endswith(
            message(self.count - 1, MESSAGE_BYTES, self.ending, self.style))
        if run is None:
            view = "no numbered text"
        else:
            view = "%s, run of %d" % ("ends with the last" if ends else "ends at #%d" % run[1],
                                      run[1] - run[0] + 1)
        print("%-38s %7d %8.0f %8d %8.2f%% %10s %9s  %s" % (
            self.name, sent, sent / max(self.sent["seconds"], 1e-9), self.dropped,
            100.0 * received / max(sent, 1),
            "%+.0f ms" % (latency * 1000) if latency is not None else "never",
            "%.0f ms" % (pause * 1000), view), flush=True)
        notes = []
        if self.sent["errors"]:
            notes.append("%d sends refused by the system" % self.sent["errors"])
        if self.read != received:
            notes.append("the program read %d datagrams (%d received)" % (self.read, received))
        if latency is None and self.readings:
            when, _, last = self.readings[-1]
            notes.append("the last message never showed; the view's last, #%d, showed %+.0f ms"
                         " after the last send" % (last, (when - self.sent["last_send"]) * 1000))
        if self.answers is not None:
            median, worst, unanswered = self.answers
            notes.append("the window answered in %.0f ms at the median, %.0f ms at worst%s;"
                         " the window thread used %.0f%% of one core, the receiving thread %.0f%%"
                         % (median, worst, " (%d not within 1 s)" % unanswered if unanswered else "",
                            self.cpu.get(WINDOW_THREAD, 0.0), self.cpu.get(RECEIVE_THREAD, 0.0)))
        if self.anchor:
            anchored = anchor_received(self.count, self.rate, self.ending, self.style)
            notes.append("rsyslog, sent the same right after: %s" % anchored)
        for note in notes:
            print("    %s" % note, flush=True)


def anchor_received(count, rate, ending, style):
    """How much of the same traffic rsyslog receives, sent to it alone."""
    rsyslogd = shutil.which("rsyslogd") or "/usr/sbin/rsyslogd"
    if not os.path.exists(rsyslogd):
        return "not measured (rsyslogd is not installed)"
    with open("/proc/sys/net/core/rmem_max") as limit:
        buffer_bytes = min(ANCHOR_RECEIVE_BUFFER, int(limit.read()))
    folder = tempfile.mkdtemp(prefix="anchor-")
    config = os.path.join(folder, "rsyslog.conf")
    with open(config, "w") as out:
        out.write('global(workDirectory="%s")\n' % folder)
        out.write('module(load="imudp")\n')
        out.write('input(type="imudp" address="127.0.0.1" port="%d" rcvbufSize="%d")\n'
                  % (ANCHOR_PORT, buffer_bytes))
        out.write('*.* action(type="omfile" file="/dev/null")\n')
    daemon = subprocess.Popen([rsyslogd, "-n", "-f", config, "-i", os.path.join(folder, "pid")],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    port = ":%04X" % ANCHOR_PORT
    try:
        if not e2e.wait_until(lambda: bound(port)):
            return "not measured (rsyslogd did not bind port %d)" % ANCHOR_PORT
        before = SocketCounters(port)
        sent = Sender(count, rate, ending, style, ANCHOR_PORT).finish()
        e2e.wait_until(lambda: SocketCounters(port).queued == 0)
        dropped = SocketCounters(port).drops - before.drops
        return "%d of %d (%.2f%%)" % (sent["sent"] - dropped, sent["sent"],
                                      100.0 * (sent["sent"] - dropped) / max(sent["sent"], 1))
    finally:
        daemon.send_signal(signal.SIGTERM)
        try:
            daemon.wait(timeout=e2e.PATIENCE_S)
        except subprocess.TimeoutExpired:
            daemon.kill()
            daemon.wait()
        shutil.rmtree(folder, ignore_errors=True)


def bound(port_suffix):
    with open("/proc/net/udp") as table:
        return any(line.split()[1].endswith(port_suffix) for line in list(table)[1:])


def print_header():
    print("%-38s %7s %8s %8s %9s %10s %9s  %s" % (
        "case", "sent", "sent/s", "dropped", "received", "last shown", "longest",
        "view's final text"))
    print("%-38s %7s %8s %8s %9s %10s %9s" % ("", "", "", "", "", "after send", "pause"),
          flush=True)


def traffic_case(program, name, count, rate, ending="\n", style="filler", anchor=False):
    Case(program, name, count, rate, ending, style, anchor).run().row()


def dialog_case(program, scale):
    """Save dialog open the whole time while 2,000/s arrive."""
    seconds = 10.0 * scale
    case = Case(program, "2,000/s for %g s, Save dialog open" % seconds, int(2000 * seconds),
                2000)
    # Cleared first: the window's buttons are disabled behind the dialog.
    program.clear()
    e2e.driver("click", "save")
    e2e.driver("dialog", "wait")
    case.run(settle_s=DIALOG_SETTLE_S, clear=False)
    closed = e2e.driver("dialog", "cancel", check=False)[0] == 0
    case.row()
    shown = passed_through(case.readings, case.count)
    print("    all of this row was taken with the dialog open: %d of %d texts passed through"
          " the view%s; the dialog %s" % (
              shown, case.count, " (every one)" if shown == case.count else "",
              "stayed open until cancelled" if closed else "WAS NOT OPEN at the end"),
          flush=True)


def process_ticks(pid):
    return process_ticks_path("/proc/%d/stat" % pid)


def wineserver_pids():
    """The wineserver of this prefix: other prefixes on the machine have their own."""
    prefix = ("WINEPREFIX=%s" % os.environ.get("WINEPREFIX", "")).encode()
    pids = []
    for entry in os.listdir("/proc"):
        try:
            if (entry.isdigit() and
                    "wineserver" in os.path.basename(os.readlink("/proc/%s/exe" % entry))):
                with open("/proc/%s/environ" % entry, "rb") as environ:
                    if prefix in environ.read().split(b"\0"):
                        pids.append(int(entry))
        except OSError:
            continue
    return pids


def idle_cpu(program, scale):
    seconds = IDLE_S * scale
    pids = [program.process.pid] + wineserver_pids()
    before = {pid: process_ticks(pid) for pid in pids}
    started = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - started
    share = {pid: 100.0 * (process_ticks(pid) - ticks) / CLOCK_TICKS / elapsed
             for pid, ticks in before.items()}
    return ["%-30s syslog.exe %.2f%% of one core, wineserver %.2f%% (over %.0f s)"
            % ("idle CPU", share[program.process.pid],
               sum(value for pid, value in share.items() if pid != program.process.pid),
               elapsed)]


def press_times(count):
    """Milliseconds each press of Autoscroll took to be answered, timed inside the driver."""
    _, output, _ = e2e.driver("press", "autoscroll", "%d" % count)
    return [float(line) for line in output.decode().split()]


def press_case(program, scale):
    """Button presses with a flood arriving, then the user closes the window."""
    program.clear()
    idle = press_times(IDLE_PRESS_COUNT)
    sender = Sender(int(FLOOD_RATE * max(FLOOD_S * scale, FLOOD_LEAD_S + 3.0)), FLOOD_RATE)
    time.sleep(FLOOD_LEAD_S)  # let the flood build up; the sender itself is bounded
    busy = press_times(PRESS_COUNT)
    code, seconds = program.close()
    sent = sender.finish()
    return ["%-30s idle: median %.1f ms, max %.1f ms; during %d/s: median %.1f ms, max %.1f ms"
            " (%d presses)" % ("button press answered", statistics.median(idle), max(idle),
                                FLOOD_RATE, statistics.median(busy), max(busy), len(busy)),
            "%-30s exit code %d after %.2f s (sender: %d sent at %.0f/s)"
            % ("close during the flood", code, seconds, sent["sent"],
               sent["sent"] / max(sent["seconds"], 1e-9))]


RESPONSIVENESS = ("idle", "press")


def cases(scale):
    seconds = 10.0 * scale
    paragraph_s = 60.0 * scale
    return {
        "idle": lambda p: idle_cpu(p, scale),
        "burst10k": lambda p: traffic_case(p, "10,000 back to back", 10000, 0),
        "burst100k": lambda p: traffic_case(p, "100,000 back to back", 100000, 0),
        "rate20000": lambda p: traffic_case(p, "20,000/s for %g s" % seconds,
                                            int(20000 * seconds), 20000),
        "dialog": lambda p: dialog_case(p, scale),
        "paragraph": lambda p: traffic_case(p, "100/s for %g s, no line breaks" % paragraph_s,
                                            int(100 * paragraph_s), 100, ending=""),
        "runon100": lambda p: traffic_case(p, "real lines run on, 100/s for %g s" % paragraph_s,
                                           int(100 * paragraph_s), 100, "", "syslog"),
        "runon2000": lambda p: traffic_case(p, "real lines run on, 2,000/s for %g s" % seconds,
                                            int(2000 * seconds), 2000, "", "syslog", True),
        "word20000": lambda p: traffic_case(p, "one unbroken word, 20,000/s for %g s" % seconds,
                                            int(20000 * seconds), 20000, "", "word", True),
        "press": lambda p: press_case(p, scale),
    }


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    e2e.SYSLOG_EXE, e2e.DRIVER_EXE = sys.argv[1], sys.argv[2]
    requested = [name for name in sys.argv[3:] if name != "--short"]
    scale = SHORT_SCALE if "--short" in sys.argv[3:] else 1.0
    known = cases(scale)
    unknown = [name for name in requested if name not in known]
    if unknown:
        sys.exit("unknown case %s\n%s" % (", ".join(unknown), __doc__))
    chosen = [name for name in known if not requested or name in requested]
    print("%d-byte numbered messages to 127.0.0.1:514; net.core.rmem_max %s; durations x%g"
          % (MESSAGE_BYTES, open("/proc/sys/net/core/rmem_max").read().strip(), scale),
          flush=True)
    if set(chosen) - set(RESPONSIVENESS):
        print_header()
    # Rows of the traffic table print as they come; these after it.
    responsiveness = []
    # The press case ends its program by closing the window: it runs last, alone.
    shared = [name for name in chosen if name != "press"]
    if shared:
        with e2e.Program() as program:
            for name in shared:
                responsiveness += known[name](program) or []
    if "press" in chosen:
        with e2e.Program() as program:
            responsiveness += known["press"](program)
    for line in responsiveness:
        print(line, flush=True)


if __name__ == "__main__":
    main()
