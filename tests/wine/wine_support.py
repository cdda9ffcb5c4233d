"""Helpers for the tests of the Windows build under Wine: where its programs
are, and how to run them piped; the terminal helpers are those of e2e/."""

import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from e2e_support import BANNER, MENU, SOURCE, Tmux, remove, scratch_dir  # noqa: E402,F401

BUILD = os.environ.get("MENSAGENS_BUILD", os.path.join(os.getcwd(), "build-windows"))
SIM = os.path.join(BUILD, "sim", "mensagens-sim.exe")
MENSAGENS = os.path.join(BUILD, "console", "mensagens.exe")
NO_BOARD = "\n\n  Nao foi detectada nenhuma placa!!!"
WINE = os.environ.get("MENSAGENS_WINE", "wine")


def copy_of_examples():
    path = scratch_dir()
    examples = os.path.join(SOURCE, "examples")
    for name in os.listdir(examples):
        shutil.copy(os.path.join(examples, name), path)
    return path


def run_piped(program, keys, cwd=None, args=(), timeout=120):
    """Runs a Windows program under Wine with keys piped to standard input;
    returns (status, output)."""
    result = subprocess.run([WINE, program, *args], input=keys, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, cwd=cwd, timeout=timeout)
    return result.returncode, result.stdout
