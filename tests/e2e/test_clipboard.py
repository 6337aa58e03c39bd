"""The X clipboard as other programs meet it: large texts, the keeper that
serves a released text, owners that never answer, and no display at all."""

import base64
import os
import signal
import stat
import subprocess
import time
import unittest

from xsession import SLOW, Session, TavoFolder, alive, keepers, wait_until

session = None
BIG = None


def setUpModule():
    global session, BIG
    session = Session()
    # 64 MiB of text with line breaks, far beyond what one X request carries.
    BIG = base64.encodebytes(os.urandom(50 * 1024 * 1024))[: 64 * 1024 * 1024]


def tearDownModule():
    session.close()


class ClipboardTest(unittest.TestCase):
    def setUp(self):
        self.x = session.x
        self.tavo = TavoFolder(session.root)

    def run_ok(self, *args, **kwargs):
        result = self.tavo.run(self.x, *args, **kwargs)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        return result

    def release(self, data):
        self.tavo.save(data)
        self.run_ok()
        [keeper] = keepers(self.tavo.folder)
        return keeper


class LargeTextTest(ClipboardTest):
    def test_64_mib_stored_and_released_intact(self):
        self.assertEqual(len(BIG), 64 * 1024 * 1024)
        self.x.own(BIG)
        self.run_ok()
        self.assertTrue(self.tavo.saved() == BIG, "stored text differs")
        self.run_ok()
        self.assertTrue(self.x.read() == BIG, "text read by xclip differs")
        self.assertTrue(self.x.read(tool="xsel") == BIG, "text read by xsel differs")

    def test_reader_killed_mid_transfer_does_not_stop_others(self):
        self.release(BIG)
        first = subprocess.Popen(["xclip", "-selection", "clipboard", "-o"], stdout=subprocess.DEVNULL,
                                 env=self.x.env())

        def receiving():
            # The reader's memory grows with every chunk it has taken.
            try:
                with open(f"/proc/{first.pid}/status") as status:
                    rss = next(line for line in status if line.startswith("VmRSS"))
                return int(rss.split()[1]) > 8 * 1024
            except (FileNotFoundError, StopIteration):
                return False

        wait_until(receiving, timeout=SLOW, what="the first reader to be mid-transfer")
        first.send_signal(signal.SIGSTOP)
        try:
            self.assertTrue(self.x.read() == BIG, "a reader beside a stalled one got another text")
        finally:
            first.kill()
            first.wait()
        self.assertTrue(self.x.read() == BIG, "a reader after a killed one got another text")


class KeeperTest(ClipboardTest):
    def test_text_outlives_the_run_until_another_program_takes_it(self):
        keeper = self.release(b"kept")
        self.assertEqual(self.x.read(), b"kept")
        self.assertEqual(self.x.read(tool="xsel"), b"kept")
        # Nothing of the caller's: no folder, terminal or pipe.
        self.assertEqual(os.readlink(f"/proc/{keeper}/cwd"), "/")
        for fd in os.listdir(f"/proc/{keeper}/fd"):
            target = os.readlink(f"/proc/{keeper}/fd/{fd}")
            self.assertFalse(target.startswith("pipe:") or target.startswith("/dev/pts"), target)
        self.x.own(b"taken")
        wait_until(lambda: not alive(keeper), what="the keeper to exit")
        self.assertEqual(self.x.read(), b"taken")

    def test_shell_capture_returns_at_once(self):
        self.tavo.save(b"kept")
        # A keeper that held the pipe would make the shell wait for it forever.
        result = subprocess.run(["sh", "-c", 'out=$("$0"); echo "[$out]"', self.tavo.program],
                                capture_output=True, env=self.x.env(), timeout=10)
        self.assertEqual(result.stdout, b"[]\n")

    def test_a_new_release_replaces_the_keeper(self):
        keeper = self.release(b"first")
        self.x.own(b"current")
        self.tavo.save(b"second")
        self.run_ok("A")
        wait_until(lambda: not alive(keeper), what="the first keeper to exit")
        self.assertEqual(self.x.read(), b"currentsecond")


class SilentOwnerTest(ClipboardTest):
    def test_owner_that_never_answers_fails_in_bounded_time(self):
        owner = self.x.own(b"frozen")
        owner.send_signal(signal.SIGSTOP)
        try:
            for saved, args in [(None, ()), (b"saved", ("A",))]:
                with self.subTest(saved=saved):
                    if saved is not None:
                        self.tavo.save(saved)
                    started = time.monotonic()
                    result = self.tavo.run(self.x, *args, timeout=30)
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(b"tavo: read the clipboard: ", result.stderr)
                    self.assertIn(b"did not answer", result.stderr)
                    self.assertLess(time.monotonic() - started, 20)
                    self.assertEqual(self.tavo.saved(), saved)
                    self.assertEqual(self.tavo.entries(), sorted(["tavo"] + (["TAVO.TXT"] if saved else [])))
        finally:
            owner.send_signal(signal.SIGCONT)


class NoDisplayTest(ClipboardTest):
    def test_every_clipboard_step_names_display(self):
        for display in [None, ":999"]:
            env = self.x.env()
            env.pop("DISPLAY")
            if display:
                env["DISPLAY"] = display
            for saved in [None, b"saved"]:
                with self.subTest(display=display, saved=saved):
                    self.tavo = TavoFolder(session.root)
                    if saved is not None:
                        self.tavo.save(saved)
                    result = self.tavo.run(self.x, "B", env=env)
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(b"DISPLAY", result.stderr)
                    if display:
                        self.assertIn(display.encode(), result.stderr)
                    self.assertEqual(self.tavo.saved(), saved)

    def test_failure_reaches_the_desktop_without_a_terminal(self):
        # A stand-in for the desktop's notification program records the notice.
        bin_folder = os.path.join(self.tavo.folder, "bin")
        os.mkdir(bin_folder)
        notice = os.path.join(self.tavo.folder, "notice")
        script = os.path.join(bin_folder, "notify-send")
        with open(script, "w") as file:
            file.write(f'#!/bin/sh\nprintf "%s\\n" "$@" > {notice}.part && mv {notice}.part {notice}\n')
        os.chmod(script, stat.S_IRWXU)
        env = self.x.env(PATH=bin_folder + ":" + os.environ["PATH"], DBUS_SESSION_BUS_ADDRESS="unix:path=/nowhere")
        env.pop("DISPLAY")
        result = self.tavo.run(self.x, env=env)
        self.assertEqual(result.returncode, 1)
        wait_until(lambda: os.path.exists(notice), what="the notice")
        with open(notice) as file:
            lines = file.read().splitlines()
        self.assertIn("TAVO", lines)
        self.assertTrue(any("DISPLAY" in line for line in lines), lines)


if __name__ == "__main__":
    unittest.main()
