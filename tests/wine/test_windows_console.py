"""The Windows programs in a Windows console: Wine's console host on a
terminal turns the keys typed into console key events, as a Windows console
would, and edits prompt lines itself."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from wine_support import (MENSAGENS, NO_BOARD, SIM, WINE, Tmux, copy_of_examples,  # noqa: E402
                          remove)


class WindowsConsole(unittest.TestCase):
    def setUp(self):
        self.dir = copy_of_examples()
        self.tmux = Tmux(self.dir)

    def tearDown(self):
        self.tmux.close()
        remove(self.dir)

    def start(self, program):
        self.tmux.type(WINE + " " + program + "; echo st\"\"atus=$?\n")

    def test_keys_two_code_keys_and_a_typed_message(self):
        t = self.tmux
        self.start(SIM)
        t.wait_for("Programacao liberada", timeout=60)
        t.type("5")
        t.wait_for("firmware 3.07")
        menus = t.screen().count("Esc: Sair")

        # Cursor and function keys: a prefix and a second code, each a pass.
        t.key("Up")
        t.wait_count("Esc: Sair", menus + 2)
        t.key("F1")
        t.wait_count("Esc: Sair", menus + 4)

        # The console echoes and edits the prompt lines.
        t.type("3")
        t.wait_for("Numero da mensagem:")
        t.type("71")
        t.key("BSpace", "Enter")
        t.wait_for("Nome do arquivo:")
        t.type("fim.gsm")
        t.key("Enter")
        screen = t.wait_for("Mensagem enviada.")
        self.assertIn("Numero da mensagem: 7\n", screen)
        self.assertIn("Nome do arquivo: fim.gsm\n", screen)
        t.wait_for("Gravacao encerrada")
        self.assertNotIn("status=", t.screen())
        menus = t.screen().count("Esc: Sair")

        # Wine's console host takes a lone Esc for the start of a sequence and
        # a doubled one for Esc.
        t.key("Escape", "Escape")
        screen = t.wait_for("status=0")
        self.assertEqual(screen.count("Esc: Sair"), menus + 1)

    def test_no_board_waits_for_one_key(self):
        t = self.tmux
        self.start(MENSAGENS)
        t.wait_for(NO_BOARD.strip(), timeout=60)
        t.key("x")
        t.wait_for("status=0")


if __name__ == "__main__":
    unittest.main()
