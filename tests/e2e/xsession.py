"""A private X server, real clipboard programs and copies of tavo, for tests.

Every process here is started by the tests and stopped by its id."""

import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

BINARY = os.environ.get("TAVO_BINARY", "")
SLOW = 120  # ample for 64 MiB under the sanitizers; only a hang runs into it


def wait_until(predicate, timeout=10, what="the condition"):
    """Polls until predicate gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.01)


def process_state(pid):
    """The one-letter state of a process, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0]
    except (FileNotFoundError, ProcessLookupError):
        return None


def alive(pid):
    return process_state(pid) not in (None, "Z", "X")


class XServer:
    """An Xvfb on a free display number."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-ac", "-screen", "0", "640x480x24"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0, deadline - time.monotonic()))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                self.process.kill()
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.owners = []

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env.update(extra)
        return env

    def own(self, data, target="UTF8_STRING"):
        """Puts data on the CLIPBOARD through an xclip that stays in the
        foreground; gives that xclip."""
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-t", target, "-i"],
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, env=self.env())
        owner.stdin.write(data)
        owner.stdin.close()
        self.owners.append(owner)
        # xclip lists exactly TARGETS and its one target; the previous owner
        # (a tavo keeper, say) may offer the same target but lists more.
        # NOTE: a request that reaches the previous owner as it exits is never
        # answered, and xclip -o would wait for ever: each look is bounded.
        wait_until(lambda: (self.read("TARGETS", timeout=2) or b"").split() == [b"TARGETS", target.encode()],
                   what="xclip to own the clipboard")
        return owner

    def read(self, target="UTF8_STRING", tool="xclip", timeout=SLOW):
        """The clipboard's content in that target, or None when none is offered
        (or no answer came in time)."""
        if tool == "xsel":
            command = ["xsel", "--clipboard", "--output"]
        else:
            command = ["xclip", "-selection", "clipboard", "-t", target, "-o"]
        try:
            result = subprocess.run(command, capture_output=True, env=self.env(), timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout if result.returncode == 0 else None

    def stop(self):
        for owner in self.owners:
            if owner.poll() is None:
                owner.send_signal(signal.SIGCONT)
                owner.kill()
            owner.wait()
        self.process.terminate()
        self.process.wait(timeout=20)


class TavoFolder:
    """A folder holding a copy of the program, so that its TAVO.TXT is the
    test's own."""

    def __init__(self, root, name="tavo", binary=None):
        self.folder = tempfile.mkdtemp(dir=root)
        os.chmod(self.folder, 0o755)
        self.program = os.path.join(self.folder, name)
        shutil.copy2(binary or BINARY, self.program)
        self.exchange = os.path.join(self.folder, "TAVO.TXT")

    def run(self, x, *args, env=None, cwd=None, program=None, timeout=SLOW, **popen):
        return subprocess.run([program or self.program, *args], capture_output=True,
                              env=env if env is not None else x.env(), cwd=cwd or self.folder,
                              timeout=timeout, **popen)

    def save(self, data):
        with open(self.exchange, "wb") as file:
            file.write(data)

    def saved(self):
        """The exchange file's bytes, or None when there is none."""
        try:
            with open(self.exchange, "rb") as file:
                return file.read()
        except FileNotFoundError:
            return None

    def entries(self):
        return sorted(os.listdir(self.folder))


def keepers(root):
    """Live processes running a copy of tavo from under root."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                exe = os.readlink(f"/proc/{entry}/exe")
            except OSError:
                continue
            if exe.startswith(root + "/") and alive(int(entry)):
                found.append(int(entry))
    return found


class Session:
    """One X server and a folder for tavo copies, for one test module."""

    def __init__(self):
        if not BINARY:
            raise RuntimeError("TAVO_BINARY must name the tavo program to test")
        self.root = tempfile.mkdtemp(prefix="tavo-e2e-")
        os.chmod(self.root, 0o755)
        self.x = XServer()

    def close(self):
        self.x.stop()
        # Keepers end with their X server; none may outlive the suite.
        try:
            wait_until(lambda: not keepers(self.root), timeout=20, what="tavo keepers to exit")
        finally:
            shutil.rmtree(self.root, ignore_errors=True)
