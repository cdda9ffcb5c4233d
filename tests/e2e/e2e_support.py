"""Shared helpers for the end-to-end tests: where the programs are, and a tmux
session that types at them and reads the screen like an operator."""

import os
import shutil
import subprocess
import tempfile
import time
import uuid

BUILD = os.environ.get("MENSAGENS_BUILD", os.path.join(os.getcwd(), "build"))
SOURCE = os.environ.get("MENSAGENS_SOURCE", os.getcwd())
SIM = os.path.join(BUILD, "sim", "mensagens-sim")
MENSAGENS = os.path.join(BUILD, "console", "mensagens")

BANNER = "\n******* Mensagens quorvel - Versao 1.20 ********\n\n"
MENU = ("\n\nComandos:"
        "\n1: Carrega arquivo de configuracao padrao (kiru.cfg)"
        "\n2: Carrega arquivo de configuracao generico"
        "\n3: Carrega uma mensagem "
        "\n4: Destrava a protecao contra a programacao "
        "\n5: Mostra a versao de firmware "
        "\n8: Apaga todas as mensagens "
        "\nEsc: Sair"
        "\n")


def run_piped(program, keys, cwd=None, args=(), timeout=60):
    """Runs a program with keys piped to standard input; returns (status, output)."""
    result = subprocess.run([program, *args], input=keys, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, cwd=cwd, timeout=timeout)
    return result.returncode, result.stdout


class Tmux:
    """One tmux server of its own, with one 100x40 window running a shell."""

    def __init__(self, cwd=None):
        self.socket = "mensagens-" + uuid.uuid4().hex[:8]
        self.cwd = cwd or tempfile.mkdtemp(prefix="mensagens-e2e-")
        self._tmux("new-session", "-d", "-x", "100", "-y", "40", "-c", self.cwd,
                   "env", "PS1=$ ", "bash", "--norc", "--noprofile")

    def _tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.socket, *args], check=True,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True).stdout

    def type(self, text):
        self._tmux("send-keys", "-t", "0", "-l", text)

    def key(self, *names):
        self._tmux("send-keys", "-t", "0", *names)

    def screen(self):
        return self._tmux("capture-pane", "-p", "-t", "0", "-S", "-200")

    def wait_for(self, text, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            screen = self.screen()
            if text in screen:
                return screen
            time.sleep(0.05)
        raise AssertionError(f"{text!r} never showed; screen:\n{self.screen()}")

    def wait_count(self, text, count, timeout=20):
        deadline = time.time() + timeout
        while time.time() < deadline:
            screen = self.screen()
            if screen.count(text) >= count:
                return screen
            time.sleep(0.05)
        raise AssertionError(f"{text!r} never showed {count} times; screen:\n{self.screen()}")

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def scratch_dir():
    path = tempfile.mkdtemp(prefix="mensagens-e2e-")
    return path


def remove(path):
    shutil.rmtree(path, ignore_errors=True)
