"""mensagens-sim.exe under Wine with keys piped to standard input: the same
bytes out as on Linux."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from wine_support import BANNER, MENU, MENSAGENS, NO_BOARD, SIM, remove, run_piped, scratch_dir  # noqa: E402


class WindowsPiped(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_dir()

    def tearDown(self):
        remove(self.dir)

    def test_firmware_version_then_esc(self):
        status, out = run_piped(SIM, b"5\x1b", cwd=self.dir)
        self.assertEqual(status, 0)
        self.assertNotIn(b"\r", out)
        text = out.decode("latin-1")
        self.assertTrue(text.startswith(BANNER + MENU))
        self.assertIn("firmware 3.07", text)
        self.assertTrue(text.endswith(MENU))

    def test_end_of_input_ends_the_run_without_menu(self):
        status, out = run_piped(SIM, b"q", cwd=self.dir)
        self.assertEqual(status, 0)
        self.assertTrue(out.decode("latin-1").endswith("Comando q recebido\n"))

    def test_no_input_at_all(self):
        status, out = run_piped(SIM, b"", cwd=self.dir)
        self.assertEqual(status, 0)
        self.assertEqual(out.decode("latin-1"), BANNER + MENU + "Programacao liberada\n")

    def test_mensagens_without_ftd2xx_finds_no_board(self):
        for keys in (b"x", b""):
            status, out = run_piped(MENSAGENS, keys, cwd=self.dir)
            self.assertEqual(status, 0)
            self.assertEqual(out.decode("latin-1"), BANNER + NO_BOARD)


if __name__ == "__main__":
    unittest.main()
