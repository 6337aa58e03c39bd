"""TAVO.EXE under Wine, with xclip on the X side of the clipboard."""

import os
import subprocess
import unittest

from winesession import WINE32, WINE64, WineSession, runs_32_bit_code
from xsession import TavoFolder, wait_until

EXE32 = os.environ.get("TAVO_EXE", "")
EXE64 = os.environ.get("TAVO_EXE64", "")
# Where the kernel cannot run i386 code, a 64-bit build of the same sources
# stands in for the real program.
REAL = runs_32_bit_code()
session = None


def setUpModule():
    global session
    session = WineSession(WINE32, "win32") if REAL else WineSession(WINE64, "win64")


def tearDownModule():
    session.close()


class WineTest(unittest.TestCase):
    def setUp(self):
        self.x = session.x
        self.tavo = TavoFolder(session.root, "TAVO.EXE", EXE32 if REAL else EXE64)
        self.folder = self.tavo.folder
        self.exchange = self.tavo.exchange
        self.save = self.tavo.save
        self.saved = self.tavo.saved

    def run_ok(self, *args, **kwargs):
        status, err = session.run(self.folder, *args, **kwargs)
        self.assertEqual(status, 0, err)


class RunTest(WineTest):
    def test_store_in_the_ansi_code_page(self):
        self.x.own("café X".encode())
        self.run_ok()
        self.assertEqual(self.saved(), b"caf\xe9 X")
        self.assertEqual(self.x.read(), "café X".encode())

    def test_release_outcomes(self):
        for args, expected in [((), b"saved"), (("A",), b"currentsaved"), (("a",), b"currentsaved"),
                               (("B",), b"savedcurrent"), (("b",), b"savedcurrent"), (("other",), b"saved")]:
            with self.subTest(args=args):
                self.x.own(b"current")
                self.save(b"saved")
                self.run_ok(*args)
                self.assertIsNone(self.saved())
                wait_until(lambda: self.x.read() == expected, what=f"the clipboard to hold {expected!r}")

    def test_one_trailing_end_mark_dropped(self):
        self.save(b"saved\x1a")
        self.run_ok()
        wait_until(lambda: self.x.read() == b"saved", what="the saved text without its end mark")

    def test_cr_lf_kept_through_a_cycle(self):
        self.save(b"one\r\ntwo\r\n")
        self.run_ok()
        self.assertIsNone(self.saved())
        self.run_ok()
        self.assertEqual(self.saved(), b"one\r\ntwo\r\n")

    def test_other_working_folder(self):
        self.x.own(b"elsewhere")
        self.run_ok(cwd="/")
        self.assertEqual(self.saved(), b"elsewhere")


class FailureTest(WineTest):
    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.x.env(), capture_output=True, text=True,
                              timeout=30).stdout

    def test_failure_shows_a_message_box_and_loses_nothing(self):
        os.mkdir(self.exchange)
        self.x.own(b"kept")
        run = session.start(self.folder, trace_message_box=True)
        try:
            box = wait_until(lambda: self.xdotool("search", "--onlyvisible", "--name", "^TAVO$").split(),
                             timeout=60, what="the message box")[0]
            self.assertIsNone(run.poll(), "the program must wait for the user")

            def answered():
                self.xdotool("windowfocus", "--sync", box, "key", "Return")
                return run.poll() is not None

            wait_until(answered, timeout=60, what="the message box to close")
            _, err = run.communicate(timeout=60)
        finally:
            run.kill()
        self.assertEqual(run.returncode, 1)
        self.assertIn(b"TAVO could not store the text as", err)
        self.assertTrue(os.path.isdir(self.exchange))
        self.assertEqual(self.tavo.entries(), ["TAVO.EXE", "TAVO.TXT"])
        self.assertEqual(self.x.read(), b"kept")


@unittest.skipUnless(REAL, "this machine's kernel cannot run 32-bit code, so a 64-bit build stood in")
class RealProgramTest(unittest.TestCase):
    def test_the_32_bit_program_ran(self):
        self.assertEqual(session.loader, WINE32)


if __name__ == "__main__":
    unittest.main()
