"""The operator console of mensagens-sim in a real terminal: keys typed one by
one, the screen read back, and the terminal's settings unchanged afterwards."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import SIM, Tmux, remove, scratch_dir  # noqa: E402


class ConsoleInTerminal(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_dir()
        self.tmux = Tmux(self.dir)

    def tearDown(self):
        self.tmux.close()
        remove(self.dir)

    def test_keys_and_terminal_restored(self):
        t = self.tmux
        t.type("stty -g > before.txt; " + SIM + " --board board; echo st\"\"atus=$?; stty -g > after.txt\n")
        t.wait_for("Esc: Sair")
        screen = t.wait_for("Programacao liberada")
        self.assertIn("******* Mensagens quorvel - Versao 1.20 ********", screen)
        self.assertIn("5: Mostra a versao de firmware", screen)

        t.type("4")
        t.wait_for("Trava/Destrava.")
        t.wait_for("Programacao travada")
        t.type("5")
        t.wait_for("firmware 3.07")
        t.type("8")
        t.wait_for("Todas as mensagens apagadas")
        menus = t.screen().count("Esc: Sair")

        # A cursor key is a prefix and a second code, never the end of the run.
        t.key("Up")
        t.wait_count("Esc: Sair", menus + 2)
        self.assertNotIn("status=", t.screen())

        t.key("Escape")
        screen = t.wait_for("status=0")
        self.assertEqual(screen.count("Esc: Sair"), menus + 3)
        t.type("echo sa\"\"ved\n")
        t.wait_for("saved")
        with open(os.path.join(self.dir, "before.txt")) as before, \
                open(os.path.join(self.dir, "after.txt")) as after:
            self.assertEqual(before.read(), after.read())

    def test_interrupt_restores_terminal(self):
        t = self.tmux
        # The script ignores SIGINT itself so that it goes on after the program.
        with open(os.path.join(self.dir, "run.sh"), "w") as script:
            script.write("trap '' INT\nstty -g > before.txt\n" + SIM + " --board board\n"
                         "stty -g > after.txt\necho d\"\"one\n")
        t.type("bash run.sh\n")
        t.wait_for("Esc: Sair")
        t.key("C-c")
        t.wait_for("\ndone")
        with open(os.path.join(self.dir, "before.txt")) as before, \
                open(os.path.join(self.dir, "after.txt")) as after:
            self.assertEqual(before.read(), after.read())


if __name__ == "__main__":
    unittest.main()
