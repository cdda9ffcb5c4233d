"""mensagens-sim as an operator's tool: the board's memory folder, checked
against payloads computed here from the message files alone, its life across
runs, the erase key, every --fault, --realtime and the tool's own command line."""

import hashlib
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import BANNER, MENU, SIM, SOURCE, remove, run_piped, scratch_dir  # noqa: E402

SAMPLE_LIST = [(1, "bomdia.wav"), (2, "menu.wav"), (3, "espera.wav"), (4, "fim.gsm")]
FAILED_LOAD = "\n\nOcorreu erro durante a gravacao"
LOADED = "\n\n Mensagem enviada."


# What the board must have received, computed from the message files.

def alaw(sample):
    """G.711 A-law of the sign and magnitude of sample / 8, the quotient
    truncated toward zero, the magnitude clamped to 4095."""
    q = abs(sample) // 8 * (-1 if sample < 0 else 1)
    magnitude = min(abs(q), 4095)
    if magnitude < 32:
        segment, mantissa = 0, magnitude >> 1
    else:
        segment = magnitude.bit_length() - 5
        mantissa = (magnitude >> segment) & 0x0F
    code = (segment << 4) | mantissa | (0x80 if q < 0 else 0)
    return code ^ 0xD5


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def wav_payload(data):
    """The payload of a WAV message file and its format byte."""
    assert data[8:12] == b"WAVE"
    at, fmt = 12, None
    while True:
        chunk, size = data[at:at + 4], u32(data, at + 4)
        at += 8
        if chunk == b"data":
            body = data[at:at + size - (size & 1)]
            break
        if chunk == b"fmt ":
            fmt = data[at:at + 16]
        at += size + (size & 1)
    tag = u16(fmt, 0)
    if tag == 1:
        count = len(body) // 2
        payload = bytearray(alaw(s) for s in struct.unpack("<%dh" % count, body[:count * 2]))
    else:
        payload = bytearray(body)
    if len(payload) % 2:
        payload.append(0)
    for i in range(0, len(payload), 2):
        payload[i], payload[i + 1] = payload[i + 1], payload[i]
    payload[:16] = bytes(min(16, len(payload)))
    return bytes(payload), {1: 1, 6: 1, 7: 2}[tag]


def gsm_payload(data):
    """34-byte records: 33 frame bytes, a short last frame completed with the
    file's last byte, then a zero; an empty file gives one zero record."""
    payload, fill, at = bytearray(), 0, 0
    while True:
        for _ in range(33):
            if at < len(data):
                fill = data[at]
            at += 1
            payload.append(fill)
        payload.append(0)
        if at >= len(data):
            return bytes(payload)


def expected_payload(path):
    with open(path, "rb") as file:
        data = file.read()
    if ".gsm" in os.path.basename(path) or ".GSM" in os.path.basename(path):
        return gsm_payload(data), 3
    return wav_payload(data)


def pcm_wav(samples):
    body = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
    chunks = b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(body)) + body
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


class EncoderOfTheTest(unittest.TestCase):
    def test_worked_examples(self):
        cases = {0: 0xD5, -1: 0xD5, -8: 0x55, -16: 0x54, 100: 0xD3, -100: 0x53, 1000: 0xFA,
                 -1000: 0x7A, 4096: 0x85, -4096: 0x05, 12345: 0xBD, 32767: 0xAA,
                 -32767: 0x2A, -32768: 0x2A}
        for sample, code in cases.items():
            self.assertEqual(alaw(sample), code, sample)


def read(path):
    with open(path, "rb") as file:
        return file.read()


def snapshot(folder):
    """Name, size and digest of every file: enough to tell any change, small
    enough to show one."""
    if not os.path.isdir(folder):
        return {}
    return {name: (len(data), hashlib.sha256(data).hexdigest()[:16])
            for name in sorted(os.listdir(folder)) for data in [read(os.path.join(folder, name))]}


def load_one(number, name):
    return f"3{number}\n{name}\n".encode()


class SimToolCase(unittest.TestCase):
    def setUp(self):
        self.dir = scratch_dir()
        examples = os.path.join(SOURCE, "examples")
        for name in os.listdir(examples):
            shutil.copy(os.path.join(examples, name), self.dir)
        self.board = os.path.join(self.dir, "memoria")

    def tearDown(self):
        remove(self.dir)

    def run_sim(self, keys, *args, board=True):
        extra = ["--board", self.board] if board else []
        status, out = run_piped(SIM, keys, cwd=self.dir, args=[*extra, *args])
        self.assertEqual(status, 0)
        return out.decode("latin-1")

    def check_message(self, number, path, payload=None, fmt=None):
        """NNN.bin is the payload; the copy beside it plays what it holds."""
        if payload is None:
            payload, fmt = expected_payload(os.path.join(self.dir, path))
        stem = os.path.join(self.board, "%03d" % number)
        self.assertEqual(read(stem + ".bin"), payload, f"{stem}.bin against {path}")
        if fmt == 3:
            self.assertFalse(os.path.exists(stem + ".wav"))
            frames = b"".join(payload[at:at + 33] for at in range(0, len(payload) - 33, 34))
            self.assertEqual(read(stem + ".gsm"), frames)
        else:
            self.assertFalse(os.path.exists(stem + ".gsm"))
            wav = read(stem + ".wav")
            self.assertEqual(wav[8:12], b"WAVE")
            self.assertEqual(u16(wav, 20), {1: 6, 2: 7}[fmt])
            self.assertEqual((u16(wav, 22), u32(wav, 24)), (1, 8000))
            data_at = wav.index(b"data") + 8
            self.assertEqual(u32(wav, data_at - 4), len(payload))
            back = bytearray(payload)
            for i in range(0, len(back) - 1, 2):
                back[i], back[i + 1] = back[i + 1], back[i]
            self.assertEqual(wav[data_at:data_at + len(payload)], bytes(back))


class BoardMemory(SimToolCase):
    def test_key_1_stores_every_sample_message(self):
        out = self.run_sim(b"1\x1b")
        self.assertIn("\n\n Mensagens enviadas. Gravacao encerrada\n", out)
        for number, name in SAMPLE_LIST:
            self.check_message(number, name)
        self.assertEqual(sorted(os.listdir(self.board)),
                         ["001.bin", "001.wav", "002.bin", "002.wav", "003.bin", "003.wav",
                          "004.bin", "004.gsm"])

    def test_odd_pcm_message_and_the_encoder_edges(self):
        samples = [0, -1, -7, -8, -16, -31744, -32768, 32767, 4096, -4096, 12345, -100] * 8 + [77]
        with open(os.path.join(self.dir, "borda.wav"), "wb") as file:
            file.write(pcm_wav(samples))
        out = self.run_sim(load_one(300, "borda.wav") + b"\x1b")
        self.assertIn(f"\n Enviando borda.wav tamanho {len(samples) + 1} (PCM 16 bits) ", out)
        self.assertIn(LOADED, out)
        self.check_message(300 % 256, "borda.wav")

    def test_default_folder_is_board_here_and_made_only_when_needed(self):
        self.run_sim(b"5\x1b", board=False)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "board")))
        self.run_sim(load_one(7, "fim.gsm") + b"\x1b", board=False)
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "board"))), ["007.bin", "007.gsm"])

    def test_memory_outlives_the_run_and_a_new_upload_replaces_one_message(self):
        self.run_sim(b"1\x1b")
        before = snapshot(self.board)
        out = self.run_sim(load_one(1, "fim.gsm") + b"\x1b")
        self.assertIn(LOADED, out)
        self.check_message(1, "fim.gsm")
        after = snapshot(self.board)
        self.assertNotIn("001.wav", after)
        for name in before:
            if not name.startswith("001."):
                self.assertEqual(after[name], before[name], name)

    def test_copy_of_a_stored_message_loads_back_the_same(self):
        self.run_sim(b"1\x1b")
        out = self.run_sim(load_one(9, "memoria/002.wav") + load_one(10, "memoria/003.wav") + b"\x1b")
        self.assertEqual(out.count(LOADED), 2)
        self.assertEqual(read(os.path.join(self.board, "009.bin")), read(os.path.join(self.board, "002.bin")))
        self.assertEqual(read(os.path.join(self.board, "010.bin")), read(os.path.join(self.board, "003.bin")))

    def test_key_8_erases_every_message(self):
        self.run_sim(b"1\x1b")
        with open(os.path.join(self.board, "leia.txt"), "w") as file:
            file.write("not the board's")
        out = self.run_sim(b"8\x1b")
        self.assertIn("Todas as mensagens apagadas\n", out)
        self.assertEqual(os.listdir(self.board), ["leia.txt"])


# Each fault with the keys that show it, the lines the operator must see in
# this order, and whether the board's memory must stay as it was.
FAULT_CASES = [
    ("no-number-echo, GSM", ["no-number-echo"], load_one(1, "fim.gsm"),
     ["\nMensagem 254", FAILED_LOAD], True),
    ("number-echo, WAV", ["number-echo=9"], load_one(1, "bomdia.wav"),
     ["\nErro escrevendo o numero da mensagem 9 != 1 ", FAILED_LOAD], True),
    ("number-echo, GSM", ["number-echo=0x09"], load_one(1, "fim.gsm"),
     ["\nMensagem 9", FAILED_LOAD], True),
    ("format-echo, WAV", ["format-echo=2"], load_one(1, "menu.wav"),
     ["\nErro recebendo formato da mensagem 2 != 1" + FAILED_LOAD], True),
    ("format-echo, GSM", ["format-echo=1"], load_one(1, "fim.gsm"),
     ["\nFormato 1" + FAILED_LOAD], True),
    ("no-format-echo", ["no-format-echo"], load_one(1, "fim.gsm"),
     ["\nFormato 1" + FAILED_LOAD], True),
    ("read fails in the header: USB line", ["read-fails=1"], load_one(1, "espera.wav"),
     ["\nErro escrevendo o numero da mensagem 254 != 1 ",
      "\nFalha na comunicacao USB - verifique a instalacao" + FAILED_LOAD,
      "\n\n  Erro lendo USB!!!"], True),
    ("write fails at the first block, WAV", ["write-fails=5"], load_one(1, "bomdia.wav"),
     ["(PCM 16 bits) /\b/\nNao conseguiu enviar amostra" + FAILED_LOAD], True),
    ("write fails at the first block, GSM", ["write-fails=5"], load_one(1, "fim.gsm"),
     ["tamanho 5338 /\b/\nNao conseguiu enviar" + FAILED_LOAD], True),
    ("change-echo-at", ["change-echo-at=37"], load_one(1, "fim.gsm"),
     ["\nEnviou %x recebeu %x " % (gsm_payload(read(os.path.join(SOURCE, "examples", "fim.gsm")))[37],
                                   gsm_payload(read(os.path.join(SOURCE, "examples", "fim.gsm")))[37] ^ 0xFF)
      + FAILED_LOAD], True),
    ("stop-echo-at in a block", ["stop-echo-at=37"], load_one(1, "fim.gsm"),
     ["\nNao recebeu eco 0  5" + FAILED_LOAD], True),
    # Only the way back fails: the board has had every byte and keeps the
    # message, while the tool reports the failure it saw.
    ("stop-echo-at in the tail", ["stop-echo-at=5330"], load_one(1, "fim.gsm"),
     ["\nNao recebeu eco" + FAILED_LOAD], False),
    ("drop-echo-at", ["drop-echo-at=37"], load_one(1, "fim.gsm"),
     ["\nNao recebeu eco 0  15" + FAILED_LOAD], True),
    ("negative length answer", ["length-answer=-1"], load_one(1, "fim.gsm"),
     ["\nTamanho recusado pela placa -1" + FAILED_LOAD], True),
    ("a list stops at the fault", ["change-echo-at=37"], b"1",
     ["\nErro: 4\n1:bomdia.wav nao enviado\n\nErro: 4"], True),
]


class Faults(SimToolCase):
    def run_fault(self, faults, keys):
        args = []
        for fault in faults:
            args += ["--fault", fault]
        return self.run_sim(keys + b"\x1b", *args)

    def test_upload_faults_show_their_lines_and_spare_the_memory(self):
        self.run_sim(b"1\x1b")
        before = snapshot(self.board)
        filled = self.board + ".filled"
        shutil.copytree(self.board, filled)
        for name, faults, keys, lines, unchanged in FAULT_CASES:
            with self.subTest(name):
                shutil.rmtree(self.board)
                shutil.copytree(filled, self.board)
                out = self.run_fault(faults, keys)
                at = 0
                for line in lines:
                    found = out.find(line, at)
                    self.assertGreaterEqual(found, 0, f"{line!r} not in order in:\n{out[-600:]!r}")
                    at = found + len(line)
                self.assertNotIn(LOADED, out)
                if unchanged:
                    self.assertEqual(snapshot(self.board), before)
                else:
                    self.check_message(1, "fim.gsm")

    def test_start_up_faults(self):
        cases = [
            ("no-board", "\n\n  Nao foi detectada nenhuma placa!!!"),
            ("two-boards", "\n\n  Foram detectadas mais de uma placa!!!"),
            ("baud-refused", "\n\n  Nao conseguiu mudar Baudrate!!!"),
        ]
        for fault, line in cases:
            with self.subTest(fault):
                self.assertEqual(self.run_sim(b"1", "--fault", fault), BANNER + line)
        self.assertFalse(os.path.exists(self.board))

    def test_link_failures_of_the_console_loop(self):
        self.assertEqual(self.run_sim(b"x", "--fault", "status-fails=0"),
                         BANNER + MENU + "\n\n  Nao conseguiu ler status do USB!!!")
        self.assertEqual(self.run_sim(b"x", "--fault", "read-fails=0"),
                         BANNER + MENU + "\n\n  Erro lendo USB!!!")
        # The first pass echoes the start-up answer; the second one fails,
        # whether or not the piped key has come by then.
        out = self.run_sim(b"x", "--fault", "status-fails=1")
        self.assertTrue(out.startswith(BANNER + MENU + "Programacao liberada\n"), out)
        self.assertTrue(out.endswith("\n\n  Nao conseguiu ler status do USB!!!"), out)

    def test_board_that_takes_part_or_does_not_answer_the_length(self):
        fim = os.path.join(self.dir, "fim.gsm")
        payload, _ = expected_payload(fim)
        cases = [
            # The format echo, then what the receive buffer held before.
            (["no-length-answer"], "tamanho %d " % 0x03FEFEFE, payload),
            (["length-answer=100"], "tamanho 100 ", payload[:100]),
            (["length-answer=99"], "tamanho 99 ", payload[:100]),
            (["length-answer=0"], "tamanho 0 /" + LOADED, b""),
            (["length-answer=999999"], "tamanho 999999 ", payload),
            (["capacity=64"], "tamanho 64 ", payload[:64]),
        ]
        for faults, line, stored in cases:
            with self.subTest(faults[0]):
                shutil.rmtree(self.board, ignore_errors=True)
                out = self.run_fault(faults, load_one(1, "fim.gsm"))
                self.assertIn("\n Enviando fim.gsm " + line, out)
                self.assertIn(LOADED + "Gravacao encerrada\n", out)
                self.check_message(1, "fim.gsm", stored, 3)

    def test_no_format_echo_passes_when_number_and_format_bytes_agree(self):
        out = self.run_fault(["no-format-echo"], load_one(3, "fim.gsm"))
        self.assertIn(LOADED, out)
        self.check_message(3, "fim.gsm")


class CommandLine(unittest.TestCase):
    def run_tool(self, *args):
        result = subprocess.run([SIM, *args], input=b"", stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=30)
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def test_help_lists_every_fault_and_the_readme_documents_each(self):
        status, out, err = self.run_tool("--help")
        self.assertEqual((status, err), (0, ""))
        self.assertTrue(out.startswith("usage: mensagens-sim [--board DIR] [--realtime] "
                                       "[--fault NAME[=VALUE]]... [--help]\n"))
        names = re.findall(r"^    ([a-z-]+(?:=[A-Z])?) ", out, re.M)
        self.assertGreaterEqual(len(names), 15)
        with open(os.path.join(SOURCE, "README.md")) as file:
            readme = file.read()
        for name in names:
            self.assertIn(f"| `{name}` |", readme)

    def test_wrong_command_lines(self):
        for args in (["--bogus"], ["extra"], ["--board"], ["--board", ""], ["--fault"],
                     ["--fault", "nope"], ["--fault", "no-board=1"], ["--fault", "capacity"],
                     ["--fault", "number-echo=256"], ["--fault", "change-echo-at=-1"],
                     ["--fault", "read-fails=x"], ["--fault=length-answer=-2147483649"]):
            with self.subTest(args):
                status, out, err = self.run_tool(*args)
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertTrue(err.startswith("mensagens-sim: "), err)
                self.assertIn("usage: mensagens-sim", err)

    def test_board_folder_that_is_a_file(self):
        folder = scratch_dir()
        try:
            path = os.path.join(folder, "board")
            with open(path, "w") as file:
                file.write("x")
            status, out, err = self.run_tool("--board", path)
            self.assertEqual((status, out), (1, ""))
            self.assertIn(path, err)
        finally:
            remove(folder)


class Realtime(SimToolCase):
    def test_upload_at_the_line_pace_stores_the_same(self):
        process = subprocess.Popen([SIM, "--realtime", "--board", self.board], cwd=self.dir,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        seen = b""

        def wait_for(text):
            nonlocal seen
            deadline = time.monotonic() + 60
            while text not in seen:
                ready = select.select([process.stdout], [], [], max(0, deadline - time.monotonic()))[0]
                chunk = os.read(process.stdout.fileno(), 65536) if ready else b""
                self.assertTrue(chunk, f"{text!r} never came: {seen[-300:]!r}")
                seen += chunk

        try:
            # Keys typed before the board's start-up answer is over would start
            # the upload while it is still on the wire, as on a real line.
            wait_for(b"Programacao liberada\n")
            process.stdin.write(load_one(4, "fim.gsm"))
            process.stdin.flush()
            wait_for(b"Gravacao encerrada\n")
            process.stdin.write(b"\x1b")
            process.stdin.close()
            self.assertEqual(process.wait(timeout=30), 0)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
        self.assertIn(LOADED.encode(), seen)
        self.check_message(4, "fim.gsm")


if __name__ == "__main__":
    unittest.main()
