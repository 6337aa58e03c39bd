"""Failures that must lose nothing: a write cut short, folders and files the
user may not touch, and runs started at the same moment."""

import os
import resource
import subprocess
import unittest

from xsession import SLOW, Session, TavoFolder, XServer

session = None
TEXT = b"0123456789abcdef\n" * 16384  # 272 KiB


def setUpModule():
    global session
    session = Session()


def tearDownModule():
    session.close()


def as_nobody():
    os.setgroups([])
    os.setgid(65534)
    os.setuid(65534)


class FailureTest(unittest.TestCase):
    def setUp(self):
        self.x = session.x
        self.tavo = TavoFolder(session.root)

    def assertFailed(self, result, *fragments):
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertTrue(result.stderr.startswith(b"tavo: "), result.stderr)
        for fragment in fragments:
            self.assertIn(fragment, result.stderr)


class WriteCutShortTest(FailureTest):
    def test_file_size_limit_leaves_no_file(self):
        self.x.own(TEXT)
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))
        self.assertFailed(self.tavo.run(self.x, preexec_fn=limit), b"File too large")
        self.assertEqual(self.tavo.entries(), ["tavo"])
        self.assertEqual(self.x.read(), TEXT)
        # The next run is again a store run, and this time it fits.
        self.assertEqual(self.tavo.run(self.x).returncode, 0)
        self.assertEqual(self.tavo.saved(), TEXT)


@unittest.skipUnless(os.geteuid() == 0, "needs root to run tavo as another user")
class UnprivilegedUserTest(FailureTest):
    """The folder belongs to root; tavo runs as nobody."""

    def test_folder_that_cannot_be_written(self):
        self.x.own(TEXT)
        self.assertFailed(self.tavo.run(self.x, preexec_fn=as_nobody), b"Permission denied", self.tavo.folder.encode())
        self.assertEqual(self.tavo.entries(), ["tavo"])
        self.assertEqual(self.x.read(), TEXT)

    def test_file_that_cannot_be_deleted_keeps_the_saved_text(self):
        self.x.own(b"current")
        self.tavo.save(b"saved")
        self.assertFailed(self.tavo.run(self.x, "B", preexec_fn=as_nobody), b"delete", b"Permission denied")
        self.assertEqual(self.tavo.saved(), b"saved")
        self.assertEqual(self.x.read(), b"savedcurrent")

    def test_file_that_cannot_be_read_leaves_the_clipboard(self):
        self.x.own(b"current")
        self.tavo.save(b"saved")
        os.chmod(self.tavo.exchange, 0o600)
        self.assertFailed(self.tavo.run(self.x, preexec_fn=as_nobody), b"read", b"Permission denied")
        self.assertEqual(self.tavo.saved(), b"saved")
        self.assertEqual(self.x.read(), b"current")


class SimultaneousRunsTest(FailureTest):
    def test_two_stores_never_mix(self):
        # Two displays give the two runs different texts to store at once.
        other = XServer()
        try:
            texts = {self.x: b"A" * (8 << 20), other: b"B" * (8 << 20)}
            for x, text in texts.items():
                x.own(text)
            for _ in range(3):
                runs = [subprocess.Popen([self.tavo.program], env=x.env(), stderr=subprocess.PIPE)
                        for x in texts]
                results = [(run.wait(timeout=SLOW), run.stderr.read()) for run in runs]
                for run in runs:
                    run.stderr.close()
                # A run that started late may have released the first one's
                # text instead; either way no file is ever a mixture.
                self.assertTrue(self.tavo.saved() in [*texts.values(), None], "a mixed or cut file")
                self.assertEqual(set(self.tavo.entries()) - {"TAVO.TXT"}, {"tavo"})
                for status, stderr in results:
                    if status != 0:
                        self.assertIn(b"File exists", stderr)
                if self.tavo.saved() is not None:
                    os.remove(self.tavo.exchange)
        finally:
            other.stop()


if __name__ == "__main__":
    unittest.main()
