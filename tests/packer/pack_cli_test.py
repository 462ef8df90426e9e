#!/usr/bin/env python3
"""The packer's command line as a user meets it: what pack makes of a folder,
what it refuses (one line naming the path, a non-zero status, no output
touched, nothing left behind), what list shows and which damage it finds."""
import argparse
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import pefile

ARGS = None


def run(*args, **kwargs):
    return subprocess.run([ARGS.packer] + [str(a) for a in args], capture_output=True, **kwargs)


def pack(library, directory, out, *options):
    operands = [library] + ([directory] if directory is not None else [])
    return run("pack", *operands, "-o", out, *options)


def listing(exe):
    """[(name, size)] and the result of packer list."""
    result = run("list", exe, text=True)
    rows = []
    for line in result.stdout.splitlines()[1:-1]:
        size, name = line.split(None, 1)
        rows.append((name, int(size)))
    return rows, result


def write(path, content=b"x"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def patched_library(path, change):
    data = bytearray(open(ARGS.app, "rb").read())
    change(data)
    write(path, bytes(data))


def set_machine(data, machine):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    struct.pack_into("<H", data, pe + 4, machine)


def clear_dll_flag(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    flags = struct.unpack_from("<H", data, pe + 22)[0]
    struct.pack_into("<H", data, pe + 22, flags & ~0x2000)


def rename_export(data):
    at = data.index(b"run_code\0")
    data[at:at + 9] = b"run_codX\0"


class Workspace(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="packer-test-")
        self.app = os.path.join(self.root, "app.dll")
        shutil.copy(ARGS.app, self.app)
        self.tree = os.path.join(self.root, "tree")
        os.makedirs(self.tree)
        self.out_dir = os.path.join(self.root, "out")
        os.makedirs(self.out_dir)
        self.out = os.path.join(self.out_dir, "app.exe")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def reset(self):
        """Empty tree and output folders, in the same places."""
        for folder in (self.tree, self.out_dir, os.path.join(self.root, "bad")):
            shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(self.tree)
        os.makedirs(self.out_dir)

    def assert_nothing_left_behind(self, out_files):
        self.assertEqual(sorted(os.listdir(self.out_dir)), sorted(out_files))


class PackRefusals(Workspace):
    """Each case: how to spoil the inputs, and what the message must name."""

    def cases(self):
        t, root = self.tree, self.root
        bad_app = os.path.join(root, "bad", "app.dll")
        return [
            # The application library.
            ("not a PE file", lambda: write(bad_app, b"just text"), bad_app, None,
             [bad_app, "is not an x86-64 DLL", "no \"MZ\" header"]),
            ("32-bit DLL", lambda: patched_library(bad_app, lambda d: set_machine(d, 0x14C)),
             bad_app, None, [bad_app, "is not an x86-64 DLL", "machine 0x014C"]),
            ("a program", lambda: patched_library(bad_app, clear_dll_flag), bad_app, None,
             [bad_app, "a program, not a library"]),
            ("no run_code", lambda: patched_library(bad_app, rename_export), bad_app, None,
             [bad_app, "exports no run_code"]),
            ("cut short", lambda: write(bad_app, open(ARGS.app, "rb").read()[:300]), bad_app, None,
             [bad_app, "is not an x86-64 DLL"]),
            ("missing library", lambda: None, os.path.join(root, "none.dll"), None,
             ["none.dll", "No such file"]),
            ("library name", lambda: shutil.copy(ARGS.app, os.path.join(root, "lib.")),
             os.path.join(root, "lib."), None, ["lib.", "trailing dot"]),
            # Names below the directory.
            ("device", lambda: write(f"{t}/CON"), None, t, [f"{t}/CON", "device"]),
            ("device with extension", lambda: write(f"{t}/sub/nul.txt"), None, t,
             [f"{t}/sub/nul.txt", "'sub\\nul.txt'", "device"]),
            ("trailing dot", lambda: write(f"{t}/name."), None, t, [f"{t}/name.", "trailing dot"]),
            ("trailing blank", lambda: write(f"{t}/d /f"), None, t, [f"{t}/d /f", "trailing blank"]),
            ("colon", lambda: write(f"{t}/a:b"), None, t, [f"{t}/a:b", "':'"]),
            ("backslash", lambda: write(f"{t}/a\\b"), None, t, [f"{t}/a\\b", "'\\'"]),
            ("question mark", lambda: write(f"{t}/what?"), None, t, ["what?", "'?'"]),
            ("control character", lambda: write(f"{t}/bell\x07"), None, t, ["0x07"]),
            ("drive", lambda: write(f"{t}/C:/f"), None, t, [f"{t}/C:/f", "drive 'C:'"]),
            ("not UTF-8", lambda: write(os.fsencode(t) + b"/bad\xff"), None, t, ["UTF-8"]),
            ("too long", lambda: write(f"{t}/{'d' * 250}/{'d' * 250}/{'d' * 250}/{'d' * 250}/{'f' * 30}"),
             None, t, ["1034 UTF-16 units long", "1023"]),
            ("letter case", lambda: (write(f"{t}/Readme.txt"), write(f"{t}/README.TXT")), None, t,
             [f"{t}/README.TXT", f"{t}/Readme.txt", "differ only in letter case"]),
            ("file and directory", lambda: (write(f"{t}/Data"), write(f"{t}/data/x")), None, t,
             [f"{t}/Data", f"{t}/data/x", "a file and a directory"]),
            ("library and a file", lambda: write(f"{t}/APP.DLL"), None, t,
             [f"{t}/APP.DLL", "differ only in letter case"]),
            # Files that cannot be read.
            ("dangling link", lambda: os.symlink("gone", f"{t}/link"), None, t,
             [f"{t}/link", "No such file"]),
            ("fifo", lambda: os.mkfifo(f"{t}/pipe"), None, t, [f"{t}/pipe", "not a regular file"]),
            ("link loop", lambda: os.symlink(".", f"{t}/up"), None, t, [f"{t}/up", "loop"]),
            ("directory is a file", lambda: write(f"{root}/plain"), None, f"{root}/plain",
             [f"{root}/plain", "Not a directory"]),
            ("missing directory", lambda: None, None, f"{root}/nowhere",
             [f"{root}/nowhere", "No such file"]),
        ]

    def test_bad_input_gets_one_line_naming_it_and_no_output(self):
        for name, spoil, library, directory, fragments in self.cases():
            with self.subTest(name):
                self.reset()
                spoil()
                write(self.out, b"an earlier build")
                result = pack(library or self.app, directory, self.out)
                message = os.fsdecode(result.stderr)
                self.assertEqual(result.returncode, 1, message)
                self.assertEqual(message.count("\n"), 1, message)
                self.assertTrue(message.startswith("packer: "), message)
                for fragment in fragments:
                    self.assertIn(fragment, message)
                self.assertEqual(open(self.out, "rb").read(), b"an earlier build")
                self.assert_nothing_left_behind(["app.exe"])

    def test_bad_icons_and_outputs_are_refused_before_anything_is_written(self):
        icon = os.path.join(self.root, "icon.ico")
        header_only = struct.pack("<HHHBBBBHHII", 0, 1, 1, 16, 16, 0, 0, 1, 32, 5000, 22)
        cases = [
            ("text as icon", b"not an icon", ["--icon", icon], [icon, "no icon directory"]),
            ("image outside", header_only, ["--icon", icon], [icon, "image 1 is outside the file"]),
            ("missing icon", None, ["--icon", icon + ".none"], [icon + ".none", "No such file"]),
        ]
        for name, icon_bytes, options, fragments in cases:
            with self.subTest(name):
                if icon_bytes is not None:
                    write(icon, icon_bytes)
                result = pack(self.app, None, self.out, *options)
                message = result.stderr.decode()
                self.assertEqual(result.returncode, 1, message)
                self.assertEqual(message.count("\n"), 1, message)
                for fragment in fragments:
                    self.assertIn(fragment, message)
                self.assert_nothing_left_behind([])
        nowhere = os.path.join(self.root, "no", "such", "dir", "app.exe")
        result = pack(self.app, None, nowhere)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"cannot write '{nowhere}'", result.stderr.decode())
        library = open(self.app, "rb").read()
        result = pack(self.app, None, self.app)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"'{self.app}' is the application library itself", result.stderr.decode())
        self.assertEqual(open(self.app, "rb").read(), library)

    def test_an_output_that_is_not_a_regular_file_is_refused_and_left_alone(self):
        pipe = os.path.join(self.out_dir, "pipe")
        os.mkfifo(pipe)
        directory = os.path.join(self.out_dir, "directory.exe")
        os.makedirs(directory)
        for output in (os.devnull, pipe, directory):
            with self.subTest(output=output):
                kind = os.stat(output).st_mode
                result = pack(self.app, None, output)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr.decode(),
                                 f"packer: cannot write '{output}': it exists and is not a regular file\n")
                self.assertEqual(os.stat(output).st_mode, kind)
        self.assert_nothing_left_behind(["pipe", "directory.exe"])
        self.assertEqual(os.listdir(directory), [])

    def test_a_block_past_the_loaders_limit_is_refused_before_it_is_written(self):
        block = os.path.join(self.root, "huge.bin")
        with open(block, "wb") as f:
            f.truncate(2 ** 31)  # sparse: no disk is used
        write(self.out, b"an earlier build")
        result = run("wrap", block, "-o", self.out, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertRegex(result.stderr, rf"^packer: cannot write '{re.escape(self.out)}': the executable "
                                        r"would be larger than 2147483648 bytes \(2 GiB\), the most the "
                                        rf"Windows loader takes: the block '{re.escape(block)}' of "
                                        r"2147483648 bytes is more than the \d+ bytes left for it$")
        self.assertEqual(open(self.out, "rb").read(), b"an earlier build")
        self.assert_nothing_left_behind(["app.exe"])

    def test_usage_errors(self):
        cases = [
            (["pack", self.app], 64),
            (["pack", "-o", self.out], 64),
            (["pack", self.app, self.tree, "extra", "-o", self.out], 64),
            (["pack", self.app, "-o", self.out, "--frobnicate"], 64),
            (["pack", self.app, "-o", self.out, "--level", "0"], 2),
            (["pack", self.app, "-o", self.out, "--level", "23"], 2),
            (["pack", self.app, "-o", self.out, "--window-log", "28"], 2),
            (["pack", self.app, "-o", self.out, "--window-log", "9"], 2),
            (["pack", self.app, "-o", self.out, "--threads", "0"], 2),
            (["pack", self.app, "-o", self.out, "--threads", "many"], 2),
            (["pack", self.app, "-o", self.out, "--uac", "root"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "Colour=blue"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "FileVersion"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "FileVersion=1.2.3.4.5"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "ProductVersion=1.65536"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "FileVersion=v1"], 2),
            (["pack", self.app, "-o", self.out, "--version-info", "FileDescription=" + "x" * 1025], 2),
            (["list"], 64),
            (["frobnicate"], 64),
            ([], 64),
        ]
        for args, status in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertTrue(result.stderr)
                if status == 2:
                    self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)
        self.assert_nothing_left_behind([])


class PackResults(Workspace):
    def test_library_first_then_each_directory_with_backslash_names(self):
        files = {"b.txt": b"bb", "a.txt": b"a", "sub/z.bin": b"z" * 40000, "sub/deep/q": b"",
                 "sub/m": b"m", "A2/x": b"xx"}
        for name, content in files.items():
            write(os.path.join(self.tree, name), content)
        os.symlink("b.txt", os.path.join(self.tree, "link.txt"))
        result = pack(self.app, self.tree + "/", self.out)
        self.assertEqual(result.returncode, 0, result.stderr)
        rows, _ = listing(self.out)
        self.assertEqual(rows, [
            ("app.dll", os.path.getsize(ARGS.app)),
            ("a.txt", 1), ("b.txt", 2), ("link.txt", 2),
            ("A2\\x", 2),
            ("sub\\m", 1), ("sub\\z.bin", 40000),
            ("sub\\deep\\q", 0),
        ])
        self.assert_nothing_left_behind(["app.exe"])

    def test_an_empty_directory_or_none_gives_the_library_alone(self):
        for directory in (self.tree, None, ""):
            with self.subTest(directory=directory):
                result = pack(self.app, directory, self.out)
                self.assertEqual(result.returncode, 0, result.stderr)
                rows, _ = listing(self.out)
                self.assertEqual(rows, [("app.dll", os.path.getsize(ARGS.app))])

    def test_the_library_and_an_earlier_output_inside_the_directory_are_not_packed_again(self):
        shutil.copy(ARGS.app, os.path.join(self.tree, "app.dll"))
        write(os.path.join(self.tree, "data.txt"), b"data")
        inner_out = os.path.join(self.tree, "app.exe")
        library = os.path.join(self.tree, "app.dll")
        for _ in range(2):
            result = pack(library, self.tree, inner_out)
            self.assertEqual(result.returncode, 0, result.stderr)
        rows, _ = listing(inner_out)
        self.assertEqual([name for name, _ in rows], ["app.dll", "data.txt"])
        self.assertEqual(sorted(os.listdir(self.tree)), ["app.dll", "app.exe", "data.txt"])

    def test_summary_names_files_bytes_size_ratio_and_time(self):
        write(os.path.join(self.tree, "data.txt"), b"d" * 1000)
        result = pack(self.app, self.tree, self.out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"", "no progress display without a terminal")
        summary = result.stdout.decode()
        self.assertRegex(summary, r"^packed 2 files, [\d.]+ KiB, into .*app\.exe: [\d.]+ KiB "
                                  r"\([\d.]+% of the input\) in [\d.]+ s\n$")
        quiet = pack(self.app, self.tree, self.out, "--quiet")
        self.assertEqual((quiet.returncode, quiet.stdout, quiet.stderr), (0, b"", b""))

    def test_progress_is_drawn_on_a_terminal(self):
        write(os.path.join(self.tree, "big.bin"), os.urandom(4 * 1024 * 1024))
        controller, terminal = pty.openpty()
        process = subprocess.Popen(
            [ARGS.packer, "pack", self.app, self.tree, "-o", self.out,
             "--level", "19"], stdout=subprocess.PIPE, stderr=terminal)
        os.close(terminal)
        shown = b""
        while True:
            ready, _, _ = select.select([controller], [], [], 60)
            if not ready:
                break
            try:
                piece = os.read(controller, 4096)
            except OSError:
                break
            if not piece:
                break
            shown += piece
        process.wait()
        os.close(controller)
        self.assertEqual(process.returncode, 0)
        self.assertRegex(shown, rb"\rpacking: file [12] of 2, [\d.]+ (bytes|KiB|MiB) of [\d.]+ MiB \(\d+%\)")
        self.assertTrue(shown.endswith(b"\r"), "the line is cleared at the end")

    def test_an_interrupted_pack_leaves_nothing_behind(self):
        write(os.path.join(self.tree, "big.bin"), os.urandom(16 * 1024 * 1024))
        for sig in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=sig):
                process = subprocess.Popen(
                    [ARGS.packer, "pack", self.app, self.tree, "-o", self.out,
                     "--level", "19"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                deadline = time.time() + 30
                while not any(".partial-" in n for n in os.listdir(self.out_dir)):
                    self.assertLess(time.time(), deadline)
                    time.sleep(0.01)
                time.sleep(0.2)
                process.send_signal(sig)
                self.assertEqual(process.wait(), -sig)
                self.assert_nothing_left_behind([])

    def test_the_number_of_threads_does_not_change_a_byte(self):
        # A window of 2^18 makes compression jobs of 1 MiB, so that several
        # workers have work at once.
        chunk = os.urandom(64 * 1024)
        write(os.path.join(self.tree, "big.bin"), b"".join(chunk[:i * 997 % 65536] + chunk
                                                           for i in range(80)))
        made = {}
        for threads in ("1", "3", None):
            out = os.path.join(self.out_dir, f"threads-{threads}.exe")
            options = ["--window-log", "18"] + (["--threads", threads] if threads else [])
            result = pack(self.app, self.tree, out, *options)
            self.assertEqual(result.returncode, 0, result.stderr)
            made[threads] = open(out, "rb").read()
        self.assertEqual(made["1"], made["3"])
        self.assertEqual(made["1"], made[None])

    def test_two_writers_of_one_block_at_once_both_finish_it(self):
        # The build may run one block's command twice in parallel.
        data = os.path.join(self.tree, "data.bin")
        write(data, os.urandom(2 * 1024 * 1024))
        block = os.path.join(self.out_dir, "one.bin")
        writers = [subprocess.Popen([ARGS.packer, "block", "-o", block, "--level", "19",
                                     "app.dll", self.app, "data.bin", data],
                                    stderr=subprocess.PIPE) for _ in range(2)]
        for writer in writers:
            self.assertEqual(writer.wait(), 0, writer.stderr.read())
            writer.stderr.close()
        self.assertEqual(os.listdir(self.out_dir), ["one.bin"])
        self.assertEqual(open(block, "rb").read(3), b"JUX")

    def test_a_record_list_must_pair_every_name_with_a_file(self):
        block = os.path.join(self.out_dir, "listed.bin")
        paired = os.path.join(self.root, "paired.records")
        write(paired, f"app.dll\n{self.app}\r\n".encode())
        odd = os.path.join(self.root, "odd.records")
        write(odd, f"app.dll\n{self.app}\ndata.bin\n".encode())
        missing = os.path.join(self.root, "missing.records")
        result = run("block", "-o", block, "--records", paired, "more.dll", self.app)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(open(block, "rb").read(3), b"JUX")
        for records, fragment in ((odd, "does not pair"), (missing, "No such file")):
            with self.subTest(records=records):
                result = run("block", "-o", block + ".2", "--records", records, text=True)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(records, result.stderr)
                self.assertIn(fragment, result.stderr)
        self.assert_nothing_left_behind(["listed.bin"])

    def test_help_and_version(self):
        result = run("--help", text=True)
        self.assertEqual(result.returncode, 0)
        for fragment in ("pack APP_LIBRARY [DIRECTORY] -o OUT.exe", "--icon", "--level",
                         "--window-log", "memory", "list", "--console", "--uac LEVEL",
                         "--version-info KEY=VALUE", "--threads N", "2147483648 bytes"):
            self.assertIn(fragment, result.stdout)
        self.assertEqual(run("pack", "--help", text=True).stdout, result.stdout)
        version = run("--version", text=True)
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout, r"^packer \d+\.\d+\.\d+\n$")


class ListDamage(Workspace):
    def packed(self, *options):
        write(os.path.join(self.tree, "data.txt"), b"some data " * 5000)
        result = pack(self.app, self.tree, self.out, *options)
        self.assertEqual(result.returncode, 0, result.stderr)
        pe = pefile.PE(self.out, fast_load=True)
        block = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".attach")
        pe.close()
        return block.PointerToRawData

    def spoil(self, change):
        data = bytearray(open(self.out, "rb").read())
        change(data)
        damaged = os.path.join(self.root, "damaged.exe")
        write(damaged, bytes(data))
        return damaged

    def test_a_sound_block_is_listed_with_totals(self):
        self.packed()
        rows, result = listing(self.out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(rows, [("app.dll", os.path.getsize(ARGS.app)), ("data.txt", 50000)])
        total = os.path.getsize(ARGS.app) + 50000
        self.assertRegex(result.stdout.splitlines()[-1],
                         rf"^2 files, {total} bytes; attached data \d+ bytes, decoder window \d+ bytes$")

    def test_damage_is_found_and_named(self):
        start = self.packed("--checksum")
        summary = listing(self.out)[1].stdout.splitlines()[-1]
        trailer = start + int(re.search(r"attached data (\d+) bytes", summary).group(1)) - 8

        def flip(offset):
            return lambda data: data.__setitem__(offset, data[offset] ^ 0x55)
        cases = [
            ("magic", flip(start), "no attached data header"),
            ("frame header", flip(start + 3), "compressed frame is broken"),
            ("content", flip(start + 200), "Restored data doesn't match checksum"),
            ("trailer", flip(trailer), "trailer"),
        ]
        for name, change, fragment in cases:
            with self.subTest(name):
                damaged = self.spoil(change)
                rows, result = listing(damaged)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(damaged, result.stderr)
                self.assertIn(fragment, result.stderr)
                self.assertEqual(result.stderr.count("\n"), 1)
        not_pe = os.path.join(self.root, "text.exe")
        write(not_pe, b"hello")
        _, result = listing(not_pe)
        self.assertEqual(result.returncode, 1)
        self.assertIn("not a Windows executable image", result.stderr)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "app"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
