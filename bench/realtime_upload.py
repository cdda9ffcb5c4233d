#!/usr/bin/env python3
"""How close a realtime upload of mensagens-sim comes to the time the simulated
line itself needs for it.

For each sample message it runs `mensagens-sim --realtime` in a scratch copy of
examples/, types key 3, message number 1 and the file name through a pipe, and
measures the wall time from the name's Enter to "Mensagem enviada.". It then
computes the least time the line needs for that upload's bytes, echoes and
latency, with the timing model of sim/sim_line.h, and prints the ratio. The goal
is a ratio of at most 1.03. Exit status 1 when a run misses it.

usage: bench/realtime_upload.py [--build DIR] [--runs N] [FILE...]
"""

import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLES = ["bomdia.wav", "menu.wav", "espera.wav", "fim.gsm"]
GOAL = 1.03

# The timing model of sim/sim_line.h, in nanoseconds.
BYTE_NS = 86_806          # 10 bits at 115200 baud
LATENCY_NS = 2_000_000    # the USB chip hands bytes over on its 2 ms timer ticks


def readable_at(left):
    return -(-left // LATENCY_NS) * LATENCY_NS


def exchange(start, sent, answered):
    """The host writes `sent` bytes at `start`; the board answers `answered`
    bytes once the last of them has arrived (an echo answers each byte as it
    arrives, which ends at the same time). Returns when the host has read the
    last answer byte."""
    if sent == 0:
        return start
    last_arrival = start + sent * BYTE_NS
    if answered == sent:
        last_left = last_arrival + BYTE_NS
    else:
        last_left = last_arrival + answered * BYTE_NS
    return readable_at(last_left)


def line_time(length, phase):
    """The upload of a payload of `length` bytes (even, as it travels), starting
    at `phase` on the latency timer, with a host that takes no time at all."""
    t = phase + 3 * BYTE_NS                # start marker, no answer
    t = exchange(t, 1, 1)                  # number byte and its echo
    t = exchange(t, 1, 1)                  # format byte and its echo
    t = exchange(t, 4, 4)                  # announced length and the answer
    for _ in range(length // 16):
        t = exchange(t, 16, 16)
    t = exchange(t, length % 16, length % 16)
    return t - phase


def least_line_time(length):
    # Only the first answer's wait depends on where the upload starts on the
    # timer: every later exchange starts on a tick. The least is when that
    # answer leaves right on a tick; the sampled phases confirm it.
    phases = [LATENCY_NS - 5 * BYTE_NS] + list(range(0, LATENCY_NS, 50_000))
    return min(line_time(length, phase) for phase in phases)


class Tool:
    def __init__(self, program, folder):
        self.process = subprocess.Popen(
            [program, "--realtime", "--board", os.path.join(folder, "board")],
            cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.seen = b""

    def type(self, text):
        self.process.stdin.write(text)
        self.process.stdin.flush()

    def wait_for(self, text, timeout=120):
        deadline = time.monotonic() + timeout
        fd = self.process.stdout.fileno()
        while text not in self.seen:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise RuntimeError(f"{text!r} never came; last output: {self.seen[-300:]!r}")
            chunk = os.read(fd, 65536)
            if not chunk:
                raise RuntimeError(f"the tool ended before {text!r}: {self.seen[-300:]!r}")
            self.seen += chunk
        at = self.seen.index(text) + len(text)
        self.seen = self.seen[at:]

    def finish(self):
        self.type(b"\x1b")
        self.process.stdin.close()
        self.process.stdout.read()
        self.process.wait(timeout=30)


def one_run(program, name):
    folder = tempfile.mkdtemp(prefix="mensagens-bench-")
    try:
        examples = os.path.join(ROOT, "examples")
        for entry in os.listdir(examples):
            shutil.copy(os.path.join(examples, entry), folder)
        tool = Tool(program, folder)
        # The board's answer to the start-up's C C C must be over first: an
        # upload begun while it is still on the wire would read it as an echo.
        tool.wait_for(b"Programacao liberada\n")
        tool.type(b"3")
        tool.wait_for(b"Numero da mensagem: ")
        tool.type(b"1\n")
        tool.wait_for(b"Nome do arquivo: ")
        start = time.monotonic()
        tool.type(name.encode() + b"\n")
        tool.wait_for(b"\n\n Mensagem enviada.")
        wall = time.monotonic() - start
        tool.finish()
        length = os.path.getsize(os.path.join(folder, "board", "001.bin"))
        return length, wall
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("files", nargs="*", default=SAMPLES)
    args = parser.parse_args()
    program = os.path.join(args.build, "sim", "mensagens-sim")
    if not os.access(program, os.X_OK):
        sys.exit(f"no {program}: build first (scripts/build)")

    print(f"{'message':<12} {'bytes':>7} {'line s':>8} {'wall s':>8} {'ratio':>7}")
    worst = 0.0
    for name in args.files:
        for _ in range(args.runs):
            length, wall = one_run(program, name)
            line = least_line_time(length) / 1e9
            ratio = wall / line
            worst = max(worst, ratio)
            print(f"{name:<12} {length:>7} {line:>8.3f} {wall:>8.3f} {ratio:>7.4f}", flush=True)
    print(f"worst ratio {worst:.4f} (goal: at most {GOAL})")
    sys.exit(0 if worst <= GOAL else 1)


if __name__ == "__main__":
    main()
