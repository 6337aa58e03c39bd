"""A private Wine prefix on a private X server, for running TAVO.EXE."""

import os
import shutil
import subprocess
import tempfile

from xsession import SLOW, XServer, wait_until

WINE32 = "/usr/lib/wine/wine"
WINE64 = "/usr/lib/wine/wine64"


def runs_32_bit_code():
    """Whether this kernel executes i386 programs, as 32-bit Wine needs."""
    try:
        return subprocess.run([WINE32, "--version"], capture_output=True, timeout=60).returncode == 0
    except OSError:
        return False


def processes_of(prefix):
    """Live processes that belong to the Wine prefix."""
    mark = f"WINEPREFIX={prefix}".encode()
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if mark in environ.read().split(b"\0"):
                        with open(f"/proc/{entry}/stat") as stat:
                            if stat.read().rsplit(")", 1)[1].split()[0] not in "ZX":
                                found.append(int(entry))
            except OSError:
                continue
    return found


class WineSession:
    """Xvfb, a fresh Wine prefix and a folder for copies of the program."""

    def __init__(self, loader, arch):
        self.root = tempfile.mkdtemp(prefix="tavo-wine-")
        self.x = XServer()
        self.loader = loader
        self.prefix = os.path.join(self.root, "prefix")
        # Western European code page: é is the single byte 0xE9.
        self.env = self.x.env(WINEPREFIX=self.prefix, WINEARCH=arch, WINEDEBUG="-all", LANG="en_US.UTF-8",
                              WINEDLLOVERRIDES="mscoree,mshtml=")
        try:
            os.mkdir(self.prefix)
            # NOTE: Wine's desktop process serves the clipboard to X, and it ends
            # with the last program unless the server persists, as a Windows
            # session does.
            subprocess.run(["wineserver", "--persistent"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=True)
            subprocess.run([loader, "wineboot", "--init"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=600, check=True)
        except BaseException:
            self.close()  # nothing it started may outlive a failed start
            raise

    def start(self, folder, *args, cwd=None, trace_message_box=False):
        env = dict(self.env, WINEDEBUG="-all,trace+msgbox") if trace_message_box else self.env
        return subprocess.Popen([self.loader, os.path.join(folder, "TAVO.EXE"), *args], cwd=cwd or folder, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def run(self, folder, *args, cwd=None):
        process = self.start(folder, *args, cwd=cwd)
        out, err = process.communicate(timeout=SLOW)
        return process.returncode, err

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        try:
            wait_until(lambda: not processes_of(self.prefix), timeout=60, what="Wine's processes to end")
        finally:
            self.x.stop()
            shutil.rmtree(self.root, ignore_errors=True)
