#!/usr/bin/env python3
"""Times tavo against xclip on a private Xvfb; see bench/README.md.

Usage: python3 bench/bench.py PATH/TO/tavo
"""

import base64
import ctypes
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

KIB, MIB = 1024, 1024 * 1024
SIZES = [(1 * KIB, "1 KiB", 15), (64 * MIB, "64 MiB", 5)]  # (bytes, label, runs)
TIMEOUT = 120  # generous for 64 MiB; only a hang reaches it
CLIP = ["xclip", "-selection", "clipboard"]
PR_SET_CHILD_SUBREAPER = 36
xvfb = None

# A fresh, small process measures tavo's peak memory: a child forked straight
# from this one would inherit our own (large) peak RSS in ru_maxrss.
MAXRSS = ("import os, sys; pid = os.posix_spawn(sys.argv[1], sys.argv[1:], os.environ); "
          "_, status, usage = os.wait4(pid, 0); print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)")


class Broken(Exception):
    pass


def make_text(size):
    """ASCII lines of base64, exactly size bytes."""
    return base64.encodebytes(os.urandom(size * 3 // 4 + 64))[:size - 1] + b"\n"


def variant(text, tag):
    """The text with a distinct first line, so that a reader that got a previous
    owner's text (a race) shows up as a mismatch."""
    head = f"{tag:<40}\n".encode()
    return head + text[len(head):]


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def expect(path, want, what):
    if read_file(path) != want:
        raise Broken(f"text mismatch: {what}")


def wait_exit(pid, timeout):
    """Waits (pidfd + select, no sleeping) for a child or adopted process to end
    and reaps it; returns its exit code, or None if it still runs at the deadline."""
    try:
        fd = os.pidfd_open(pid)
    except ProcessLookupError:
        return None
    try:
        if not select.select([fd], [], [], timeout)[0]:
            return None
        return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    except ChildProcessError:
        return None
    finally:
        os.close(fd)


def adopted():
    """Our children other than Xvfb: the daemons that xclip -i and tavo fork,
    which reparent to us because we are a child subreaper."""
    found = set()
    for name in os.listdir("/proc"):
        if name.isdigit() and int(name) != getattr(xvfb, "pid", None):
            try:
                with open(f"/proc/{name}/stat") as stat:
                    if int(stat.read().rsplit(")", 1)[1].split()[1]) == os.getpid():
                        found.add(int(name))
            except (OSError, ValueError, IndexError):
                pass
    return found


def settle(keep):
    """Waits for every other adopted clipboard owner to exit (each does when
    another program takes the clipboard), so no run pays for a previous one."""
    for pid in adopted() - keep:
        if wait_exit(pid, 10) is None:
            raise Broken(f"previous clipboard owner {pid} did not exit")


def run(cmd, **kw):
    """Runs a command to its end, requiring exit status 0; returns its seconds."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, **kw)
    code = wait_exit(proc.pid, TIMEOUT)
    elapsed = time.perf_counter() - start
    if code is None:
        proc.kill()
        proc.wait()
        raise Broken(f"timed out: {' '.join(cmd)}")
    proc.returncode = code  # reaped above; keeps Popen from waiting again
    if code != 0:
        raise Broken(f"exit status {code}: {' '.join(cmd)}")
    return elapsed


def serve(path):
    """Puts a file on the clipboard with xclip -i; returns the pids of the xclip
    that keeps serving it, once the previous owners have let go."""
    before = adopted()
    with open(path, "rb") as stdin:
        run(CLIP + ["-i"], stdin=stdin)
    new = adopted() - before
    settle(new)
    return new


def stop(pids):
    for pid in pids:
        os.kill(pid, 15)
        if wait_exit(pid, 10) is None:
            raise Broken(f"process {pid} did not stop")


def bench_store(tavo, exchange, text, runs):
    """Both read a clipboard served by one xclip -i started from the text."""
    src, out = os.path.join(work, "src.txt"), os.path.join(work, "out.txt")
    write_file(src, text)
    server = serve(src)
    times = {"tavo": [], "xclip": []}
    try:
        for i in range(runs + 1):  # the first pair only warms caches
            if os.path.exists(exchange):
                os.unlink(exchange)
            t = run([tavo])
            expect(exchange, text, "tavo store")
            with open(out, "wb") as f:
                x = run(CLIP + ["-o"], stdout=f)
            expect(out, text, "xclip store")
            if i:
                times["tavo"].append(t)
                times["xclip"].append(x)
        os.unlink(exchange)
    finally:
        stop(server)
    return times


def bench_release(tavo, exchange, text, runs):
    """tavo (or xclip -i) takes the clipboard, then one xclip -o reads it."""
    src, out = os.path.join(work, "src.txt"), os.path.join(work, "out.txt")
    times = {"tavo": [], "xclip": []}
    for i in range(runs + 1):  # the first pair only warms caches
        for who in ("tavo", "xclip"):
            want = variant(text, f"{who} {i}")
            write_file(exchange if who == "tavo" else src, want)
            before = adopted()
            with open(out, "wb") as f:
                if who == "tavo":
                    t = run([tavo])
                else:
                    with open(src, "rb") as stdin:
                        t = run(CLIP + ["-i"], stdin=stdin)
                t += run(CLIP + ["-o"], stdout=f)
            expect(out, want, f"{who} release")
            if who == "tavo" and os.path.exists(exchange):
                raise Broken("tavo release left TAVO.TXT behind")
            settle(adopted() - before)
            if i:
                times[who].append(t)
    return times


def peak_memory(tavo, exchange, text):
    """tavo's max RSS in a store run, as a multiple of the text size."""
    src = os.path.join(work, "src.txt")
    write_file(src, text)
    server = serve(src)
    try:
        done = subprocess.run([sys.executable, "-c", MAXRSS, tavo], capture_output=True,
                              text=True, timeout=TIMEOUT)
        code, kib = (int(v) for v in done.stdout.split())
        if code != 0:
            raise Broken(f"tavo store failed: {done.stderr.strip()}")
        expect(exchange, text, "tavo store (memory)")
        os.unlink(exchange)
    finally:
        stop(server)
    return kib * KIB / len(text)


def start_xvfb():
    """Starts Xvfb on a free display and returns its name. -noreset: a real
    desktop always has clients; without it Xvfb resets (~0.1 s) whenever its
    last client leaves, which tavo's release run can cause and xclip's cannot."""
    global xvfb
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-noreset"],
                            pass_fds=[write_end], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    number, deadline = b"", time.monotonic() + 20
    try:
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], max(0, deadline - time.monotonic()))[0]:
                raise Broken("Xvfb did not report a display in time")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise Broken("Xvfb exited at start")
            number += chunk
    finally:
        os.close(read_end)
    return ":" + number.decode().strip()


def cleanup(tavo):
    """Stops Xvfb, then makes sure every clipboard owner (tavo keeper, xclip -i)
    ended with it; returns False if one had to be killed."""
    clean = True
    owners = adopted()
    if xvfb:
        xvfb.terminate()
        try:
            xvfb.wait(10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()
    for pid in owners:
        if wait_exit(pid, 10) is None:
            print(f"bench: process {pid} outlived the X server; killing it", file=sys.stderr)
            os.kill(pid, 9)
            wait_exit(pid, 10)
            clean = False
    for name in os.listdir("/proc"):
        try:
            if name.isdigit() and os.readlink(f"/proc/{name}/exe") == tavo:
                print(f"bench: tavo process {name} left behind", file=sys.stderr)
                clean = False
        except OSError:
            pass
    return clean


def main():
    global work
    if len(sys.argv) != 2:
        sys.exit("usage: bench.py PATH/TO/tavo")
    # As the reaper of the daemons that xclip -i and tavo fork, we learn their
    # pids, can wait for them to end and stop the ones we still own.
    if ctypes.CDLL(None).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("bench: cannot become a child subreaper")
    work = tempfile.mkdtemp(prefix="tavo-bench-")
    tavo = os.path.join(work, "bin", "tavo")  # TAVO.TXT lands beside it
    os.mkdir(os.path.dirname(tavo))
    shutil.copy(sys.argv[1], tavo)
    exchange = os.path.join(os.path.dirname(tavo), "TAVO.TXT")
    ok = False
    try:
        os.environ["DISPLAY"] = start_xvfb()
        rows = []
        for size, label, runs in SIZES:
            text = make_text(size)
            for case, bench in (("store", bench_store), ("release + 1 reader", bench_release)):
                t = bench(tavo, exchange, text, runs)
                rows.append((label, case, statistics.median(t["tavo"]), statistics.median(t["xclip"])))
                print(f"  done: {label} {case}", file=sys.stderr, flush=True)
        peak = peak_memory(tavo, exchange, text)

        print(f"\n{'size':<8} {'case':<20} {'tavo':>10} {'xclip':>10} {'tavo/xclip':>11}")
        for label, case, t, x in rows:
            print(f"{label:<8} {case:<20} {t * 1000:>8.1f}ms {x * 1000:>8.1f}ms {t / x:>11.2f}")
        print(f"\npeak memory of a {SIZES[-1][1]} store run of tavo: {peak:.2f} x the text")
        print("targets: every ratio <= 1.0; peak memory <= 3x the text (2x is better)")
        ok = True
    except Broken as problem:
        print(f"bench: {problem}", file=sys.stderr)
    finally:
        ok = cleanup(tavo) and ok
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
