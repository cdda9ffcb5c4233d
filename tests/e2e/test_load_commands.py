"""The load commands of mensagens-sim in a copy of the sample folder: the
default list piped in, and a single message typed in a real terminal."""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import BANNER, MENU, SIM, SOURCE, Tmux, remove, run_piped, scratch_dir  # noqa: E402

# The sample list's entries, each with the progress label of its encoding.
SAMPLE_ENTRIES = [
    ("bomdia.wav", "(PCM 16 bits) "),
    ("menu.wav", "(PCM lei-a) "),
    ("espera.wav", "(PCM lei-u) "),
    ("fim.gsm", ""),
]


def copy_of_examples():
    path = scratch_dir()
    examples = os.path.join(SOURCE, "examples")
    for name in os.listdir(examples):
        shutil.copy(os.path.join(examples, name), path)
    return path


def uploaded(name, label):
    """The progress line of one upload, its spinner and the list's OK."""
    return re.compile(r"\n Enviando " + re.escape(name) + r" tamanho \d+ " + re.escape(label) +
                      r"/[/\x08\\]*OK")


class LoadCommandsPiped(unittest.TestCase):
    def setUp(self):
        self.dir = copy_of_examples()

    def tearDown(self):
        remove(self.dir)

    def check_sample_list(self, text, done_line):
        self.assertTrue(text.startswith(BANNER + MENU))
        position = 0
        for name, label in SAMPLE_ENTRIES:
            found = uploaded(name, label).search(text, position)
            self.assertIsNotNone(found, f"{name} not uploaded in order:\n{text!r}")
            position = found.end()
        self.assertNotIn("Erro", text)
        self.assertNotIn("nao enviado", text)
        self.assertEqual(text[position:position + len(done_line)], done_line)
        # The board's answer to the closing byte, then the menu of the Esc.
        self.assertTrue(text.endswith(done_line + "Gravacao encerrada\n" + MENU), text[position:])

    def test_key_1_loads_the_default_list(self):
        status, out = run_piped(SIM, b"1\x1b", cwd=self.dir)
        self.assertEqual(status, 0)
        self.check_sample_list(out.decode("latin-1"), "\n\n Mensagens enviadas. ")

    def test_key_2_loads_a_named_list(self):
        os.rename(os.path.join(self.dir, "kiru.cfg"), os.path.join(self.dir, "outra lista.cfg"))
        status, out = run_piped(SIM, b"2outra lista.cfg\n\x1b", cwd=self.dir)
        self.assertEqual(status, 0)
        text = out.decode("latin-1")
        self.assertIn(MENU + "Programacao liberada\n\n\nNome do arquivo: ", text)
        self.check_sample_list(text, "\n\n Mensagens enviadas.")

    def test_key_1_without_a_list(self):
        os.remove(os.path.join(self.dir, "kiru.cfg"))
        status, out = run_piped(SIM, b"1\x1b", cwd=self.dir)
        self.assertEqual(status, 0)
        self.assertTrue(out.decode("latin-1").endswith(
            "\nNao consegui abrir arquivo \"kiru.cfg\"\n\nErro: 1" + MENU))


class LoadCommandsInTerminal(unittest.TestCase):
    def setUp(self):
        self.dir = copy_of_examples()
        self.tmux = Tmux(self.dir)

    def tearDown(self):
        self.tmux.close()
        remove(self.dir)

    def test_key_3_loads_one_typed_message(self):
        t = self.tmux
        t.type(SIM + "; echo st\"\"atus=$?")
        t.key("Enter")
        t.wait_for("Programacao liberada")
        t.type("3")
        t.wait_for("Numero da mensagem:")
        t.type("7")
        t.key("Enter")
        t.wait_for("Nome do arquivo:")
        t.type("fim.gsm")
        t.key("Enter")
        screen = t.wait_for("Mensagem enviada.")
        # What the operator typed was echoed by the terminal.
        self.assertIn("Numero da mensagem: 7", screen)
        self.assertIn("Nome do arquivo: fim.gsm", screen)
        self.assertRegex(screen, r"Enviando fim\.gsm tamanho \d+ ")
        t.wait_for("Gravacao encerrada")
        self.assertNotIn("status=", t.screen())
        menus = t.screen().count("Esc: Sair")
        t.key("Escape")
        screen = t.wait_for("status=0")
        self.assertEqual(screen.count("Esc: Sair"), menus + 1)


if __name__ == "__main__":
    unittest.main()
