#!/usr/bin/python3
"""CPU time of an idle operator console over ten seconds.

Runs the program given (mensagens-sim by default, with any further
arguments) in a pseudo-terminal, as an operator would, waits for its menu,
lets it settle, then reads its CPU time (utime + stime from /proc/<pid>/stat,
and the nanosecond figure of /proc/<pid>/schedstat where the kernel keeps it)
before and after ten seconds of nobody typing and the board saying nothing.
Goal: under 2% of one core.

Usage: idle_cpu.py [--seconds N] PROGRAM [ARG...]
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime, stime
    precise = None
    try:
        with open(f"/proc/{pid}/schedstat") as schedstat:
            precise = int(schedstat.read().split()[0]) / 1e9
    except OSError:
        pass
    return ticks / os.sysconf("SC_CLK_TCK"), precise


def read_until(fd, text, timeout):
    seen = b""
    deadline = time.monotonic() + timeout
    while text not in seen:
        left = deadline - time.monotonic()
        if left <= 0:
            raise SystemExit(f"the menu never showed; output so far: {seen!r}")
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            seen += os.read(fd, 4096)
    return seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("program")
    parser.add_argument("args", nargs=argparse.REMAINDER)
    options = parser.parse_args()

    program = os.path.abspath(options.program) if os.sep in options.program else options.program
    work = tempfile.mkdtemp(prefix="mensagens-idle-")
    master, slave = os.openpty()
    process = subprocess.Popen([program, *options.args], stdin=slave, stdout=slave, stderr=slave,
                               cwd=work, start_new_session=True)
    os.close(slave)
    try:
        read_until(master, b"Esc: Sair", 20)
        time.sleep(1.0)
        ticks_before, precise_before = cpu_seconds(process.pid)
        start = time.monotonic()
        time.sleep(options.seconds)
        ticks_after, precise_after = cpu_seconds(process.pid)
        elapsed = time.monotonic() - start
    finally:
        os.write(master, b"\x1b")
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        os.close(master)
        shutil.rmtree(work, ignore_errors=True)

    share = 100.0 * (ticks_after - ticks_before) / elapsed
    flags = " ".join(arg for arg in options.args if arg.startswith("--"))
    line = (f"idle {os.path.basename(options.program)} {flags}".rstrip()
            + f" over {elapsed:.1f} s: {share:.2f}% of a core (utime+stime)")
    if precise_before is not None:
        line += f", {100.0 * (precise_after - precise_before) / elapsed:.3f}% (schedstat)"
    print(line + " (goal: under 2%)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
