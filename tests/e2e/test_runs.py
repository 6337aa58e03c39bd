"""Store and release runs of the real program on a real X clipboard."""

import os
import unittest

from xsession import Session, TavoFolder, alive, wait_until

session = None

SAVED = "saved X: café\r\nline two".encode()
CURRENT = "current Y: €uro".encode()
PICTURE = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000")


def setUpModule():
    global session
    session = Session()


def tearDownModule():
    session.close()


class RunTest(unittest.TestCase):
    def setUp(self):
        self.x = session.x
        self.tavo = TavoFolder(session.root)

    def run_ok(self, *args, **kwargs):
        result = self.tavo.run(self.x, *args, **kwargs)
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, b"", b""))
        return result


class StoreRunTest(RunTest):
    def test_stores_clipboard_text_and_leaves_clipboard(self):
        for args in [(), ("A",)]:
            with self.subTest(args=args):
                tavo = self.tavo = TavoFolder(session.root)
                owner = self.x.own(SAVED)
                self.run_ok(*args)
                self.assertEqual(tavo.saved(), SAVED)
                self.assertEqual(self.x.read(), SAVED)
                self.assertTrue(alive(owner.pid), "the clipboard's owner must keep it")

    def test_picture_only_gives_empty_file_and_keeps_picture(self):
        self.x.own(PICTURE, target="image/png")
        self.run_ok()
        self.assertEqual(self.tavo.saved(), b"")
        self.assertEqual(self.x.read("image/png"), PICTURE)

    def test_clipboard_without_owner_gives_empty_file(self):
        owner = self.x.own(b"gone soon")
        owner.kill()
        owner.wait()
        wait_until(lambda: self.x.read("TARGETS") is None, what="the clipboard to lose its owner")
        self.run_ok()
        self.assertEqual(self.tavo.saved(), b"")


class ReleaseRunTest(RunTest):
    OUTCOMES = [
        ((), SAVED),
        (("A",), CURRENT + SAVED),
        (("a",), CURRENT + SAVED),
        (("B",), SAVED + CURRENT),
        (("b",), SAVED + CURRENT),
        (("AB",), SAVED),
        (("A ",), SAVED),
        (("A", "B"), SAVED),
        (("C",), SAVED),
    ]

    def test_outcomes(self):
        for args, expected in self.OUTCOMES:
            with self.subTest(args=args):
                self.x.own(CURRENT)
                self.tavo.save(SAVED)
                self.run_ok(*args)
                self.assertIsNone(self.tavo.saved())
                self.assertEqual(self.x.read(), expected)

    def test_text_is_offered_in_every_form(self):
        self.tavo.save("café".encode())
        self.run_ok()
        self.assertEqual(self.x.read("UTF8_STRING"), "café".encode())
        self.assertEqual(self.x.read("text/plain;charset=utf-8"), "café".encode())
        self.assertEqual(self.x.read("STRING"), b"caf\xe9")
        self.assertEqual(self.x.read(tool="xsel"), "café".encode())
        targets = self.x.read("TARGETS").split()
        for target in [b"TARGETS", b"TIMESTAMP", b"UTF8_STRING", b"STRING", b"TEXT", b"text/plain;charset=utf-8"]:
            self.assertIn(target, targets)

    def test_release_removes_picture(self):
        self.x.own(PICTURE, target="image/png")
        self.tavo.save(SAVED)
        self.run_ok()
        self.assertEqual(self.x.read(), SAVED)
        self.assertIsNone(self.x.read("image/png"))

    def test_empty_saved_text(self):
        self.x.own(CURRENT)
        self.tavo.save(b"")
        self.run_ok("B")
        self.assertEqual(self.x.read(), CURRENT)
        self.tavo.save(b"")
        self.run_ok()
        self.assertEqual(self.x.read(), b"")

    def test_end_mark_dropped_and_line_breaks_kept(self):
        self.tavo.save(b"one\r\ntwo\x1a")
        self.run_ok()
        self.assertEqual(self.x.read(), b"one\r\ntwo")


class CycleTest(RunTest):
    def test_runs_alternate(self):
        self.x.own(SAVED)
        self.run_ok()
        self.assertEqual(self.tavo.saved(), SAVED)
        self.run_ok()
        self.assertIsNone(self.tavo.saved())
        self.assertEqual(self.x.read(), SAVED)
        # The third run reads the text back from tavo's own keeper.
        self.run_ok()
        self.assertEqual(self.tavo.saved(), SAVED)

    def test_other_folder_and_name_use_the_same_file(self):
        renamed = os.path.join(self.tavo.folder, "renamed")
        os.link(self.tavo.program, renamed)
        link = os.path.join(session.root, "tavo-link")
        os.symlink(self.tavo.program, link)
        elsewhere = TavoFolder(session.root).folder
        self.x.own(SAVED)
        self.run_ok(cwd=elsewhere)
        self.assertEqual(self.tavo.saved(), SAVED)
        self.run_ok(program=renamed, cwd="/")
        self.assertIsNone(self.tavo.saved())
        self.run_ok(program=link, cwd=elsewhere)
        self.assertEqual(self.tavo.saved(), SAVED)
        self.assertNotIn("TAVO.TXT", os.listdir(elsewhere))
        os.remove(link)


if __name__ == "__main__":
    unittest.main()
