"""mensagens on a machine with no board: the banner, the no-board message,
one key awaited, exit status 0. Piped input with a key and with none, then in
a terminal, where the program must wait for the key."""

import glob
import os
import subprocess
import sys

import pexpect

BUILD = os.environ.get("MENSAGENS_BUILD", "build")
PROGRAM = os.path.join(BUILD, "console", "mensagens")
EXPECTED = ("\n******* Mensagens quorvel - Versao 1.20 ********\n\n"
            "\n\n  Nao foi detectada nenhuma placa!!!")


def ftdi_ttys():
    found = []
    for driver in glob.glob("/sys/class/tty/*/device/driver"):
        if os.path.basename(os.path.realpath(driver)) == "ftdi_sio":
            found.append(driver)
    return found


def check(condition, message):
    if not condition:
        print("FAIL:", message)
        sys.exit(1)


def piped(keys):
    run = subprocess.run([PROGRAM], input=keys, capture_output=True, timeout=30)
    check(run.returncode == 0, f"exit status {run.returncode} with input {keys!r}")
    check(run.stdout.decode() == EXPECTED, f"output {run.stdout!r} with input {keys!r}")


def in_terminal():
    child = pexpect.spawn(PROGRAM, encoding="utf-8", timeout=10)
    child.expect_exact("Nao foi detectada nenhuma placa!!!")
    # Still there: it waits for a key.
    check(child.expect([pexpect.TIMEOUT, pexpect.EOF], timeout=0.5) == 0,
          "ended before a key was pressed")
    child.send("x")
    child.expect(pexpect.EOF)
    child.close()
    check(child.exitstatus == 0, f"exit status {child.exitstatus} in a terminal")


def main():
    if ftdi_ttys():
        print("skipped: this machine has an FTDI device attached")
        return
    piped(b"x")
    piped(b"")
    in_terminal()
    print("3 passed, 0 failed")


if __name__ == "__main__":
    main()
