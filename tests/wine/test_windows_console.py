"""mensagens-sim.exe in a Windows console: Wine's console host on a terminal
turns the keys typed into console key events, as a Windows console would."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from wine_support import SIM, WINE, Tmux, remove, scratch_dir  # noqa: E402


class WindowsConsole(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_dir()
        self.tmux = Tmux(self.dir)

    def tearDown(self):
        self.tmux.close()
        remove(self.dir)

    def test_keys_and_two_code_keys(self):
        t = self.tmux
        t.type(WINE + " " + SIM + "; echo st\"\"atus=$?\n")
        t.wait_for("Programacao liberada", timeout=60)
        t.type("5")
        t.wait_for("firmware 3.07")
        menus = t.screen().count("Esc: Sair")

        # Cursor and function keys: a prefix and a second code, each a pass.
        t.key("Up")
        t.wait_count("Esc: Sair", menus + 2)
        t.key("F1")
        t.wait_count("Esc: Sair", menus + 4)
        self.assertNotIn("status=", t.screen())

        # Wine's console host takes a lone Esc for the start of a sequence and
        # a doubled one for Esc.
        t.key("Escape", "Escape")
        screen = t.wait_for("status=0")
        self.assertEqual(screen.count("Esc: Sair"), menus + 5)


if __name__ == "__main__":
    unittest.main()
