#!/usr/bin/env python3
"""Random input against the updater's window under openbox on a private X
server, updating a real mixer-sim process. Not part of the test suite: its
runs differ every time (pass --seed to repeat one).

At every end of the program, once the device has closed every handle the
program had, it checks that the program did not end by a signal the runner
did not send (a crash: SIGABRT from a failed assertion, SIGSEGV, ...), that
the driver's update flag is 0 (a flag left on is blamed on the run that set
it, not on the runs after it that found it on), that every transfer was
either whole on the device or reported failed by the window (or aborted by a
signal), that no transfer the window called a success left the device with
nothing to install, that none it called a failure was installed, that the
device got the chosen image's bytes (the image's name holds a backslash, and
a decoy of the same size lies where that backslash as a separator would
lead), that it ended with 0 or by the runner's signal, that it showed its
window before it ended with 0, that no sanitizer spoke, and that the
simulator ended only when asked. A program that shows no window within
--window-seconds of its start, or has not ended --end-seconds after the
runner's signal, hangs: that is a problem too, and the runner kills it and
goes on. The standard error of a run or simulator that failed a check is
kept under --keep (build/random-input by default). An aborted transfer the
device installed anyway (it does not check its image) is counted and noted.
Now and then it starts the device again, mostly with the fault that resets
it as the update flag goes on. The caller's sanitizer settings stay; the
runner adds what it needs where they say nothing. Prints the figures at the
end, also when SIGINT or SIGTERM cut the run short; exits 1 when any check
failed, else 128 plus the signal when one cut it short.
"""
import argparse
import ctypes
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

# ---- X through Xlib and XTest ----

X11 = ctypes.CDLL("libX11.so.6")
XTST = ctypes.CDLL("libXtst.so.6")
X11.XOpenDisplay.restype = ctypes.c_void_p
X11.XOpenDisplay.argtypes = [ctypes.c_char_p]
X11.XDefaultRootWindow.restype = ctypes.c_ulong
X11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
X11.XInternAtom.restype = ctypes.c_ulong
X11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
X11.XStringToKeysym.restype = ctypes.c_ulong
X11.XStringToKeysym.argtypes = [ctypes.c_char_p]
X11.XKeysymToKeycode.restype = ctypes.c_ubyte
X11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
X11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
X11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
X11.XFlush.argtypes = [ctypes.c_void_p]
XTST.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
XTST.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
XTST.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
IGNORE_ERRORS = ERROR_HANDLER(lambda d, e: 0)  # a window gone meanwhile
X11.XSetErrorHandler.argtypes = [ERROR_HANDLER]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


class X:
    def __init__(self, name):
        self.d = X11.XOpenDisplay(name.encode())
        if not self.d:
            raise SystemExit("random-input: cannot open display " + name)
        X11.XSetErrorHandler(IGNORE_ERRORS)
        self.root = X11.XDefaultRootWindow(self.d)
        self.display = name

    def atom(self, name):
        return X11.XInternAtom(self.d, name.encode(), 0)

    def click(self, x, y, button=1):
        XTST.XTestFakeMotionEvent(self.d, -1, x, y, 0)
        XTST.XTestFakeButtonEvent(self.d, button, 1, 0)
        XTST.XTestFakeButtonEvent(self.d, button, 0, 0)
        X11.XSync(self.d, 0)

    def key(self, names):
        codes = [X11.XKeysymToKeycode(self.d, X11.XStringToKeysym(n.encode())) for n in names]
        for c in codes:
            XTST.XTestFakeKeyEvent(self.d, c, 1, 0)
        for c in reversed(codes):
            XTST.XTestFakeKeyEvent(self.d, c, 0, 0)
        X11.XSync(self.d, 0)

    def client_message(self, target, window, message_type, data, mask):
        e = ClientMessage()
        e.type = 33  # ClientMessage
        e.window = window
        e.message_type = self.atom(message_type)
        e.format = 32
        for i, v in enumerate(data):
            e.data[i] = v
        X11.XSendEvent(self.d, target, 0, mask, ctypes.byref(e))
        X11.XSync(self.d, 0)

    def delete_window(self, window):
        self.client_message(window, window, "WM_PROTOCOLS", [self.atom("WM_DELETE_WINDOW"), 0], 0)

    def net_close(self, window):
        # SubstructureRedirect | SubstructureNotify, from a pager.
        self.client_message(self.root, window, "_NET_CLOSE_WINDOW", [0, 2], (1 << 20) | (1 << 19))

    def window_of(self, pid):
        env = dict(os.environ, DISPLAY=self.display)
        xprop = lambda *a: subprocess.run(["xprop", *a], capture_output=True, text=True, env=env, timeout=10).stdout
        try:
            for w in re.findall(r"0x[0-9a-f]+", xprop("-root", "_NET_CLIENT_LIST")):
                if xprop("-id", w, "_NET_WM_PID").strip().endswith("= %d" % pid):
                    return int(w, 16)
        except subprocess.TimeoutExpired:
            pass
        return 0


# ---- the program's dump, the device's log ----

def read_dump(path):
    window, controls = (0, 0), {}
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if fields[0] == "window" and len(fields) >= 3:
                    window = (int(fields[1]), int(fields[2]))
                elif len(fields) >= 9 and fields[0] not in controls:
                    controls[fields[0]] = {"shown": fields[2] == "1", "x": int(fields[4]), "y": int(fields[5]),
                                           "w": int(fields[6]), "h": int(fields[7]),
                                           "text": fields[9] if len(fields) > 9 else ""}
    except (OSError, ValueError):
        pass
    return window, controls


def verdict(controls):
    """What the window says about the last transfer: success, failure,
    aborted (the program's own abort after the last chunk) or none."""
    shown = lambda n: controls.get(n, {}).get("shown", False)
    process = controls.get("labelUpdateProcessInformation", {}).get("text", "")
    if shown("labelDeviceCannotUpdateError") or shown("labelFirmwareFileInformation"):
        return "failure"
    if shown("progressBar"):
        return None
    if shown("buttonManualDeviceHasUpdatedRescanButton") or "successfully updated" in process:
        return "success"
    # An abort after the last chunk: the window offers to try again.
    if shown("buttonReinitialize"):
        return "aborted" if "aborted" in process else "failure"
    return None


class Transfer:
    def __init__(self, run):
        self.run = run  # the run that set the flag
        self.sent = 0
        self.ended = None  # time of the flag's clearing
        self.ended_wall = 0.0
        self.installed = False
        self.received = None  # the device's image when the flag was cleared
        self.device_gone = False  # detached (or reset) between flag on and off
        self.report = None
        self.seen = ""


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return "signal %d" % number


def sanitizer_env(here):
    """The sanitizers' settings: the caller's, with what the runner needs
    added where the caller said nothing. Says where the caller's differ."""
    env = {}
    for name, wanted in (("ASAN_OPTIONS", [("detect_leaks", "1"), ("abort_on_error", "0")]),
                         ("LSAN_OPTIONS", [("suppressions", os.path.join(here, "..", "tests", "lsan.supp"))]),
                         ("UBSAN_OPTIONS", [("print_stacktrace", "1")])):
        caller = os.environ.get(name, "")
        # The sanitizers split their settings at colons, commas and spaces.
        given = dict(item.split("=", 1) for item in re.split(r"[\s:,]+", caller) if "=" in item)
        added = [k + "=" + v for k, v in wanted if k not in given]
        for k, v in wanted:
            if k in given and given[k] != v:
                print("random-input: keeps the caller's %s=%s in %s (the runner would set %s)" % (k, given[k], name, v))
        env[name] = ":".join(([caller] if caller else []) + added)
    return env


def engine_chunk_size(here):
    """The transfer's chunk size as the engine keeps it."""
    with open(os.path.join(here, "..", "FirmwareUpdater", "Engine", "UpdateEngine.h"), encoding="utf-8") as f:
        return int(re.search(r"kChunkSize = (\d+);", f.read()).group(1))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    chunk = engine_chunk_size(here)
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.path.join(here, "..", "build", "asan", "bin"))
    ap.add_argument("--seconds", type=float, default=180)
    ap.add_argument("--seed", type=int, default=int(time.time()))
    ap.add_argument("--display", required=True)
    ap.add_argument("--chunks", type=int, default=120)
    # Where the standard error of a run or of the simulator that went wrong
    # is kept: outside the work folder, which random-input.sh removes.
    ap.add_argument("--keep", default=os.path.join(here, "..", "build", "random-input"))
    # How long a program may take to show its window, and to end after the
    # runner's signal (it drains a transfer for up to a minute).
    ap.add_argument("--window-seconds", type=float, default=60)
    ap.add_argument("--end-seconds", type=float, default=75)
    args = ap.parse_args()
    keep_folder = os.path.abspath(args.keep)
    rng = random.Random(args.seed)
    x = X(args.display)
    work = tempfile.mkdtemp(prefix="tavo-random-")
    # The chosen image's name holds a backslash; the decoy, of the same size,
    # is what a program taking it for a separator would send.
    image = os.path.join(work, "fw\\image.syx")
    os.makedirs(os.path.join(work, "fw"))
    image_bytes = bytes(rng.randrange(256) for _ in range(chunk * args.chunks - 37))
    with open(image, "wb") as f:
        f.write(image_bytes)
    with open(os.path.join(work, "fw", "image.syx"), "wb") as f:
        f.write(bytes(b ^ 0x5A for b in image_bytes))
    padded = chunk * args.chunks
    padded_bytes = image_bytes + bytes(padded - len(image_bytes))
    received_path = os.path.join(work, "received.bin")
    log_path, dump_path = os.path.join(work, "sim.log"), os.path.join(work, "ui.txt")
    env = dict(os.environ, TAVO_PLATFORM_ROOT=work, TAVO_RUNTIME_DIR=work, HOME=work,
               TAVO_USER_APPDATA_DIR=work + "/user", TAVO_COMMON_APPDATA_DIR=work + "/common",
               TAVO_CONFIG_DIR=work + "/config", TAVO_DOCUMENTS_DIR=work + "/documents",
               XDG_CONFIG_HOME=work + "/config", XDG_DATA_HOME=work + "/data", DISPLAY=args.display,
               TAVO_UI_DUMP=dump_path, **sanitizer_env(here))

    def ctl(*a):
        try:
            return subprocess.run([os.path.join(args.bin, "mixer-sim-ctl"), "--root", work, *a],
                                  capture_output=True, text=True, env=env, timeout=30).stdout.strip()
        except subprocess.TimeoutExpired:
            return ""

    sim = None
    sim_started = 0.0
    sim_err_path = os.path.join(work, "sim.err")

    def start_sim(mode, fault):
        nonlocal sim, sim_started
        sim_started = time.time()
        with open(sim_err_path, "w") as sim_err:
            sim = subprocess.Popen([os.path.join(args.bin, "mixer-sim"), "--root", work, "--log", log_path,
                                    "--received", received_path, "--mode", mode, "--take-delay-ms", "15",
                                    "--install-ms", "1500"] + (["--reenumerate-after-flag"] if fault else []),
                                   env=env, stdout=subprocess.DEVNULL, stderr=sim_err)
        for _ in range(300):
            if ctl("status").startswith("state="):
                break
            time.sleep(0.05)

    # SIGINT or SIGTERM ends the run early, with its figures. Ctrl+C reaches
    # the program and the simulator too: their ends by it are not judged.
    interrupted = []
    began = time.monotonic()

    def interrupt(number, frame):
        if not interrupted:
            interrupted.append(number)

    signal.signal(signal.SIGINT, interrupt)
    signal.signal(signal.SIGTERM, interrupt)
    start_sim("normal", False)

    figures = {"runs": 0, "whole": 0, "failed": 0, "aborted": 0, "unsampled": 0, "flag-0-ends": 0,
               "flag-1-ends": 0, "cut-reported-as-success": 0, "whole-but-unnoticed": 0,
               "whole-reported-failed": 0, "aborted-but-installed": 0, "another-file-sent": 0,
               "device-gone-in-transfer": 0, "device-restarts": 0, "restarts-with-reset-fault": 0,
               "sanitizer-reports": 0, "crashes": 0, "odd-exits": 0, "ends-without-window": 0, "hangs": 0,
               "actions": 0}
    problems = []
    notes = []

    def keep(name, text):
        """Keeps text where the user can read it after the run; its path."""
        os.makedirs(keep_folder, exist_ok=True)
        path = os.path.join(keep_folder, "seed%d-%s" % (args.seed, name))
        with open(path, "w") as f:
            f.write(text)
        return path

    def sim_ended(how):
        """The simulator ended without being asked: said, kept, started again."""
        nonlocal log_at, current, handles
        with open(sim_err_path, encoding="utf-8", errors="replace") as f:
            kept = keep("sim%d.err" % figures["device-restarts"], f.read())
        problems.append("the simulator ended (%s) without being asked; its standard error is kept in %s" %
                        (how, kept))
        figures["device-restarts"] += 1
        start_sim("normal", False)
        log_at, current, handles = 0, None, 0

    def quit_sim():
        """Ends the simulator; one that does not end cleanly is a problem too."""
        ctl("quit")
        try:
            code = sim.wait(timeout=30)
        except subprocess.TimeoutExpired:
            sim.kill()
            try:
                code = sim.wait(timeout=30)
            except subprocess.TimeoutExpired:
                problems.append("the simulator did not end when killed; the runner left it")
                return
        if code != 0:
            with open(sim_err_path, encoding="utf-8", errors="replace") as f:
                kept = keep("sim%d.err" % figures["device-restarts"], f.read())
            problems.append("the simulator ended with %s when asked to quit; its standard error is kept in %s" %
                            ("signal %d" % -code if code < 0 else "exit %d" % code, kept))
    log_at = 0
    transfers = []
    current = None
    handles = 0  # the driver handles the device holds open
    flag_set_by = None  # the run that last set the update flag
    flag_blamed = None  # the run last blamed for leaving it on
    sent_signals = set()  # what the runner sent the running program
    killed_runs = set()  # the runs the runner killed as hung

    def read_log():
        nonlocal log_at, current, handles, flag_set_by
        try:
            with open(log_path, encoding="utf-8", errors="replace") as f:
                f.seek(log_at)
                text = f.read()
        except OSError:
            return
        complete = text[:text.rfind("\n") + 1]
        log_at += len(complete.encode())
        for line in complete.splitlines():
            what = line.split("\t", 1)[-1]
            if what == "driver open":
                handles += 1
            elif what == "driver close-handle":
                handles -= 1
            if what == "driver update-flag 1":
                current = Transfer(figures["runs"])
                transfers.append(current)
                flag_set_by = figures["runs"]
            elif current and re.fullmatch(r"driver send 0 \d+", what):
                current.sent += int(what.rsplit(" ", 1)[1])
            elif current and current.ended is None and what == "state detached":
                current.device_gone = True
            # The flag is also cleared before it is set: only the first
            # clearing after the flag went on ends a transfer.
            elif current and current.ended is None and what == "driver update-flag 0":
                current.ended = time.monotonic()
                try:
                    with open(received_path, "rb") as f:
                        current.received = f.read()
                except OSError:
                    current.received = b""
                # When the device cleared it, by its own clock: the window
                # may have shown the verdict before this line was read.
                try:
                    current.ended_wall = sim_started + float(line.split("\t", 1)[0]) / 1000
                except ValueError:
                    current.ended_wall = time.time()
            elif what == "state installing" and transfers:
                transfers[-1].installed = True

    def settle(program_ended, how):
        """Classifies every ended transfer that has its report."""
        for t in transfers:
            if t.ended is None or t.report == "counted":
                continue
            whole = t.sent == padded and t.installed
            aborted = t.report == "aborted" or (t.report is None and how.startswith("signal"))
            since = time.monotonic() - t.ended
            # The device installs a moment after the flag; the window may
            # take a while to show its verdict.
            if not program_ended and (since < 1.0 or (t.report is None and since < 3)):
                continue
            if t.device_gone:
                figures["device-gone-in-transfer"] += 1
            if t.received is not None and len(t.received) == padded and t.received != padded_bytes:
                figures["another-file-sent"] += 1
                problems.append("the device received %d bytes that are not the chosen image's%s" %
                                (padded, " (the decoy's)" if t.received[:64] != padded_bytes[:64] else ""))
            elif whole and t.report == "failure":
                figures["whole-reported-failed"] += 1
                problems.append("a transfer the device installed was reported as a failure")
            elif t.installed and aborted:
                # Closed cleanly: the device cannot tell a cut image.
                figures["aborted-but-installed"] += 1
                notes.append("run %d: a transfer aborted after %d of %d bytes was installed by the device "
                             "anyway (it does not check its image)" % (t.run, t.sent, padded))
            elif whole:
                figures["whole"] += 1
            elif t.report in ("failure", "aborted"):
                figures["failed"] += 1
            elif t.report == "success" and t.sent == padded:
                figures["whole-but-unnoticed"] += 1
                problems.append("a transfer of all %d bytes that the device did not install (%s) was reported "
                                "as a success" % (padded, "it went away meanwhile" if t.device_gone else
                                                  "nothing useful arrived"))
            elif t.report == "success":
                figures["cut-reported-as-success"] += 1
                problems.append("a transfer of %d of %d bytes was reported as a success" % (t.sent, padded))
            elif aborted:
                figures["aborted"] += 1
            elif program_ended:
                figures["unsampled"] += 1
                notes.append("unsampled: %d of %d bytes sent, the program ended (%s) %.1f s after the flag;"
                             " the window showed %s" % (t.sent, padded, how, time.monotonic() - t.ended, t.seen))
            else:
                continue
            t.report = "counted"

    def look():
        """Reads the device's log and what the window shows now."""
        read_log()
        pos, controls = read_dump(dump_path)
        v = verdict(controls)
        try:
            dumped = os.stat(dump_path).st_mtime
        except OSError:
            dumped = 0
        for t in transfers:
            # Only what the window drew after the transfer ended.
            if t.ended is not None and t.report is None and v is not None and dumped > t.ended_wall:
                t.report = v
            elif t.ended is not None and t.report is None and controls:
                t.seen = " / ".join(n for n, c in controls.items() if c["shown"] and
                                    (n.startswith("button") or n.startswith("label")))
        return pos, controls

    def pause(seconds):
        """Waits, looking at the window all the while."""
        end = time.monotonic() + seconds
        while time.monotonic() < end and program.poll() is None and not interrupted:
            look()
            time.sleep(0.01)

    def ended(code):
        """The checks at every end of the program."""
        nonlocal log_at, current, handles, flag_blamed
        run = figures["runs"]
        # What the program asked of the device is all in the log once the
        # device has closed the program's handles (it logs the close last).
        end = time.monotonic() + 30
        read_log()
        while handles > 0 and time.monotonic() < end and sim.poll() is None:
            time.sleep(0.02)
            read_log()
        if handles > 0:
            notes.append("run %d: the device still held %d driver handles 30 s after the end" % (run, handles))
        how = "signal %d" % -code if code < 0 else "exit %d" % code
        figures["ends by " + how] = figures.get("ends by " + how, 0) + 1
        crashed = code < 0 and -code not in sent_signals and -code not in interrupted
        # The window's every way out ends with 0, or by the runner's signal.
        odd_exit = code > 0
        no_window = code == 0 and not shown and not sent_signals
        settle(True, "crash by " + how if crashed else how)
        status = ctl("status")
        if not status.startswith("state="):
            # A simulator that ended is judged on its own; one ended by the
            # Ctrl+C that cut the run short, not at all.
            if sim.poll() is None and not interrupted:
                problems.append("the simulator did not answer at the end of run %d" % run)
        elif "flag=0" in status:
            figures["flag-0-ends"] += 1
        else:
            figures["flag-1-ends"] += 1
            # Found on by a run that did not set it: the run that did is to
            # blame, once.
            culprit = run if flag_set_by is None else flag_set_by
            if culprit != flag_blamed and culprit in killed_runs:
                flag_blamed = culprit
                notes.append("run %d, killed as hung, left the driver's update flag on" % culprit)
            elif culprit != flag_blamed:
                flag_blamed = culprit
                problems.append("run %d left the driver's update flag on%s; the device at the end of run %d: %s" %
                                (culprit, "" if culprit == run else " (found on)", run, status))
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            err_text = f.read()
        reports = len(re.findall(r"ERROR: (Address|Leak)Sanitizer|runtime error:", err_text))
        if reports or crashed or odd_exit or no_window:
            figures["sanitizer-reports"] += reports
            figures["crashes"] += crashed
            figures["odd-exits"] += odd_exit
            figures["ends-without-window"] += no_window
            kept = keep("run%d.err" % run, err_text)
            if crashed:
                problems.append("run %d ended by signal %d (%s), which the runner did not send; its standard "
                                "error is kept in %s" % (run, -code, signal_name(-code), kept))
            if odd_exit:
                problems.append("run %d ended with exit code %d, which no way out of the window gives; its "
                                "standard error is kept in %s" % (run, code, kept))
            if no_window:
                problems.append("run %d ended with exit code 0 without showing its window; its standard error is "
                                "kept in %s" % (run, kept))
            if reports:
                problems.append("run %d: sanitizer report, kept in %s" % (run, kept))
        if rng.random() < 0.12 and not interrupted:
            # A new device, mostly one that resets as the flag goes on.
            quit_sim()
            handles = 0
            fault = rng.random() < 0.7
            figures["device-restarts"] += 1
            figures["restarts-with-reset-fault"] += fault
            start_sim(rng.choice(["normal", "update"]), fault)
            log_at, current = 0, None
            return
        if "mode=update" in status and rng.random() < 0.5:
            ctl("normal-mode")
        if "detached" in status and "installing=0" in status:
            ctl("attach")

    def hung(what):
        """A program that hangs: a problem; it is killed and its end checked."""
        nonlocal program
        run = figures["runs"]
        figures["hangs"] += 1
        killed_runs.add(run)
        sent_signals.add(signal.SIGKILL)
        program.kill()
        try:
            code = program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            kept = keep("run%d.err" % run, f.read())
        problems.append("run %d %s and was killed; its standard error is kept in %s" % (run, what, kept))
        if code is None:
            problems.append("run %d did not end even when killed; the runner left it" % run)
        else:
            ended(code)
        program = None

    def stop(number):
        """Ends the program by the runner's signal, within --end-seconds."""
        nonlocal program
        sent_signals.add(number)
        program.send_signal(number)
        try:
            code = program.wait(timeout=args.end_seconds)
        except subprocess.TimeoutExpired:
            hung("did not end within %g s of the runner's %s" % (args.end_seconds, signal_name(number)))
            return
        ended(code)
        program = None

    deadline = time.monotonic() + args.seconds
    stderr_path = os.path.join(work, "program.err")
    program = None
    shown = False
    signalled = None  # the runner's first signal to this run, and when
    while time.monotonic() < deadline and not interrupted:
        if program is None:
            if os.path.exists(dump_path):
                os.unlink(dump_path)
            argv = [os.path.join(args.bin, "FirmwareUpdater"), "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image]
            if rng.random() < 0.5:
                argv.append("-START_UPDATE_AUTOMATICALLY")
            err = open(stderr_path, "w")
            program = subprocess.Popen(argv, env=env, stdout=err, stderr=err)
            sent_signals = set()
            figures["runs"] += 1
            window_id = 0
            started = time.monotonic()
            shown = False
            signalled = None
        if interrupted:
            break
        if sim.poll() is not None:
            sim_ended("signal %d" % -sim.returncode if sim.returncode < 0 else "exit %d" % sim.returncode)
        pos, controls = look()
        shown = shown or bool(controls)
        settle(False, "")
        code = program.poll()
        if code is not None:
            # It may have drawn and ended since the last look.
            shown = shown or bool(read_dump(dump_path)[1])
            ended(code)
            program = None
            continue
        if signalled and time.monotonic() - signalled[1] > args.end_seconds:
            hung("did not end within %g s of the runner's %s" % (args.end_seconds, signal_name(signalled[0])))
            continue
        if not shown and time.monotonic() - started > args.window_seconds:
            hung("showed no window within %g s" % args.window_seconds)
            continue
        if not controls or time.monotonic() - started < 0.5:
            time.sleep(0.05)
            continue
        if not window_id:
            window_id = x.window_of(program.pid)
        figures["actions"] += 1
        r = rng.random()
        wx, wy = pos
        # EXIT now and then only, so that runs get as far as their transfers
        # and some transfers to their end.
        rare = {"buttonExit": 0.1}
        buttons = [c for n, c in controls.items() if n.startswith("button") and c["shown"] and c["w"] > 0 and
                   rng.random() < rare.get(n, 1)]
        if r < 0.30 and buttons:
            c = rng.choice(buttons)
            x.click(wx + c["x"] + c["w"] // 2, wy + c["y"] + c["h"] // 2)
        elif r < 0.45:
            main_c = controls.get("mainControl", {"w": 560, "h": 400})
            x.click(wx + rng.randrange(max(1, main_c["w"])), wy + rng.randrange(max(1, main_c["h"])),
                    rng.choice([1, 1, 1, 3]))
        elif r < 0.60:
            x.key(rng.choice([["Tab"], ["Return"], ["space"], ["Escape"], ["Up"], ["Down"], ["F10"],
                              ["Alt_L", "F4"], ["Alt_L", "f"], ["Shift_L", "Tab"], ["a"]]))
        elif r < 0.72 and window_id:
            # A close request to the window while it is not the active one.
            x.click(rng.choice([5, 1270]), rng.choice([5, 1015]))
            pause(0.05)
            kind = rng.randrange(3)
            if kind == 0:
                x.delete_window(window_id)
            elif kind == 1:
                x.net_close(window_id)
            else:
                x.key(["Alt_L", "F4"])
        elif r < 0.90:
            # The device's user switches modes between transfers; during one,
            # rarely (a switch then cuts the transfer, as an unplug would).
            if current is None or current.ended is not None or rng.random() < 0.05:
                ctl(rng.choice(["update-mode", "update-mode", "update-mode", "normal-mode", "attach"]))
        elif r < 0.92:
            sig = rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
            sent_signals.add(sig)
            program.send_signal(sig)
            signalled = signalled or (sig, time.monotonic())
        pause(rng.uniform(0.05, 0.4))

    if program is not None:
        stop(signal.SIGTERM)
    # A simulator ended by the Ctrl+C that cut the run short is not judged.
    if not interrupted or sim.poll() is None:
        if sim.poll() is not None:
            sim_ended("signal %d" % -sim.returncode if sim.returncode < 0 else "exit %d" % sim.returncode)
        quit_sim()
    print("random-input: seed %d, %.0f s, %d chunks an image" % (args.seed, args.seconds, args.chunks))
    if interrupted:
        print("random-input: interrupted by %s after %.0f s" % (signal_name(interrupted[0]), time.monotonic() - began))
    for k, v in figures.items():
        print("  %-24s %d" % (k, v))
    for n in notes:
        print("  note: " + n)
    for p in problems:
        print("  PROBLEM: " + p)
    if problems:
        return 1
    return 128 + interrupted[0] if interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
