#!/usr/bin/env python3
"""The -RETURN_UPDATE_MODE_STATUS run as a whole process, against a real
mixer-sim, beside a plain baseline program and, when given, another build's
updater: the runs take turns round after round on one CPU, and the medians
of wall time, CPU time (all threads) and peak memory are compared.

    bench/status_run_bench.py BIN [OTHER_BIN] [--rounds N] [--cpu C]

BIN is a build's bin folder (FirmwareUpdater, mixer-sim, mixer-sim-ctl);
OTHER_BIN another build's, whose FirmwareUpdater runs in the same rounds.
The baseline is `mixer-sim-ctl status`: a small program that starts, asks
the same simulator one question over its socket and ends. Every program
runs once without a display and once with a private Xvfb named in DISPLAY
(skipped when Xvfb is missing): a status run needs neither.
"""

import argparse
import ctypes
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


LIBC = ctypes.CDLL(None, use_errno=True)
LIBC.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
PTRACE_TRACEME, PTRACE_CONT, PTRACE_SETOPTIONS = 0, 7, 0x4200
PTRACE_O_TRACEEXIT, PTRACE_O_EXITKILL, PTRACE_EVENT_EXIT = 0x40, 0x100000, 6


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def run_once(argv, env):
    """Wall ms, CPU ms (user + system of all threads), peak KiB and exit code.

    The peak is the program's own: read as it exits (the child stops there
    for us), since the kernel's maximum for a child also counts the memory
    of the process that forked it, here this script's."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             preexec_fn=lambda: LIBC.ptrace(PTRACE_TRACEME, 0, None, None))
    peak = 0
    traced = False
    while True:
        _, status, usage = os.wait4(child.pid, 0)
        if not os.WIFSTOPPED(status):
            break
        signal_number = os.WSTOPSIG(status)
        forward = 0
        if not traced:  # stopped at its exec
            LIBC.ptrace(PTRACE_SETOPTIONS, child.pid, None, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL)
            traced = True
        elif status >> 8 == (signal.SIGTRAP | (PTRACE_EVENT_EXIT << 8)):
            peak = peak_kib(child.pid)
        else:
            forward = signal_number
        LIBC.ptrace(PTRACE_CONT, child.pid, None, forward)
    wall = (time.perf_counter() - start) * 1000.0
    child.returncode = os.waitstatus_to_exitcode(status)
    return wall, (usage.ru_utime + usage.ru_stime) * 1000.0, peak, child.returncode


def start_xvfb():
    """A private Xvfb; its process and display name, or (None, None)."""
    if not shutil.which("Xvfb"):
        return None, None
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        server.kill()
        server.wait()
        return None, None
    return server, ":" + number


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin", help="this build's bin folder")
    parser.add_argument("other", nargs="?", help="another build's bin folder")
    parser.add_argument("--rounds", type=int, default=21)
    parser.add_argument("--cpu", type=int, default=max(os.sched_getaffinity(0)),
                        help="the one CPU every process runs on (default: the last one)")
    args = parser.parse_args()

    os.sched_setaffinity(0, {args.cpu})  # the simulator and Xvfb too
    root = tempfile.mkdtemp(prefix="tavo-status-bench-")
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update({
        "TAVO_PLATFORM_ROOT": root, "TAVO_RUNTIME_DIR": root, "HOME": root,
        "TAVO_USER_APPDATA_DIR": root + "/user", "TAVO_COMMON_APPDATA_DIR": root + "/common",
        "TAVO_CONFIG_DIR": root + "/config", "TAVO_DOCUMENTS_DIR": root + "/documents",
        "XDG_CONFIG_HOME": root + "/config", "XDG_DATA_HOME": root + "/data",
    })
    image = os.path.join(root, "image.syx")
    with open(image, "wb") as f:
        f.write(b"\x11" * 1000)

    ctl = [os.path.join(args.bin, "mixer-sim-ctl"), "--root", root]
    sim = subprocess.Popen([os.path.join(args.bin, "mixer-sim"), "--root", root, "--mode", "normal",
                            "--version", "0.0.3.6"], env=env, stdout=subprocess.DEVNULL)
    xvfb = None
    try:
        deadline = time.monotonic() + 30
        while subprocess.run(ctl + ["status"], env=env, capture_output=True).returncode != 0:
            if time.monotonic() > deadline or sim.poll() is not None:
                sys.exit("mixer-sim did not start")
            time.sleep(0.05)

        status_args = ["-RETURN_UPDATE_MODE_STATUS", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + image]
        programs = [("updater", [os.path.join(args.bin, "FirmwareUpdater")] + status_args, 5),
                    ("baseline", ctl + ["status"], 0)]
        if args.other:
            programs.insert(1, ("other", [os.path.join(args.other, "FirmwareUpdater")] + status_args, 5))

        xvfb, display = start_xvfb()
        displays = [("no display", None)] + ([("Xvfb " + display, display)] if display else [])
        print(f"{args.rounds} rounds on CPU {args.cpu}; medians; ratios to the baseline and to the other build")
        for label, name in displays:
            run_env = dict(env)
            if name:
                run_env["DISPLAY"] = name
            samples = {p[0]: [] for p in programs}
            for _ in range(args.rounds):
                for key, argv, expected in programs:
                    wall, cpu, rss, code = run_once(argv, run_env)
                    if code != expected:
                        sys.exit(f"{key} exited {code}, not {expected}")
                    samples[key].append((wall, cpu, rss))
            med = {k: [statistics.median(s[i] for s in v) for i in range(3)] for k, v in samples.items()}
            print(f"\n{label}:")
            print(f"{'':10} {'wall ms':>9} {'cpu ms':>9} {'peak KiB':>9} {'wall/base':>10} {'cpu/base':>9}"
                  f"{' wall/other  cpu/other  peak/other' if args.other else ''}")
            base = med["baseline"]
            for key, _, _ in programs:
                wall, cpu, rss = med[key]
                line = f"{key:10} {wall:9.2f} {cpu:9.2f} {rss:9.0f} {wall / base[0]:10.3f} {cpu / base[1]:9.3f}"
                if args.other:
                    other = med["other"]
                    line += f" {wall / other[0]:10.3f} {cpu / other[1]:10.3f} {rss / other[2]:11.3f}"
                print(line)
    finally:
        subprocess.run(ctl + ["quit"], env=env, capture_output=True)
        try:
            sim.wait(timeout=10)
        except subprocess.TimeoutExpired:
            sim.kill()
            sim.wait()
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
