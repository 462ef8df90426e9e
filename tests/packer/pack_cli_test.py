#!/usr/bin/env python3
"""The packer's command line as a user meets it: what pack makes of a folder,
what it refuses (one line naming the path, a non-zero status, no output
touched, nothing left behind), which missing DLLs it warns about, what list
shows and which damage it finds, and what extract writes."""
import argparse
import filecmp
import json
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
import termios
import fcntl
import time
import unittest

import pefile

ARGS = None


def run(*args, **kwargs):
    return subprocess.run([ARGS.packer] + [str(a) for a in args], capture_output=True, **kwargs)


def pack(library, directory, out, *options, **kwargs):
    operands = [library] + ([directory] if directory is not None else [])
    return run("pack", *operands, "-o", out, *options, **kwargs)


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


def block_span(exe):
    """(file offset, size) of an executable's attached data section."""
    pe = pefile.PE(exe, fast_load=True)
    block = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".attach")
    pe.close()
    return block.PointerToRawData, block.SizeOfRawData


def with_delay_directory(source, path, dll_name):
    """A copy of a library whose delay-load directory names its table. GNU ld
    writes the descriptors but leaves that directory entry empty (its helper
    finds them by symbol); other linkers fill it, and so does this."""
    pe = pefile.PE(source, fast_load=True)
    with open(source, "rb") as f:
        data = bytearray(f.read())
    name_rva = pe.get_rva_from_offset(data.index(dll_name.encode() + b"\0"))
    # An RVA-based descriptor (attributes 1) naming the DLL.
    descriptor_rva = pe.get_rva_from_offset(data.index(struct.pack("<II", 1, name_rva)))
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]]
    struct.pack_into("<II", data, entry.get_file_offset(), descriptor_rva, 64)
    pe.close()
    write(path, bytes(data))


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

    def exe_carrying(self, records):
        """An executable whose attached data is a block of these (name,
        content) records, names that pack itself would refuse."""
        operands = []
        for i, (name, content) in enumerate(records):
            path = os.path.join(self.root, "records", str(i))
            write(path, content)
            operands += [name, path]
        self.crafted = getattr(self, "crafted", 0) + 1
        block = os.path.join(self.root, f"crafted{self.crafted}.bin")
        result = run("block", "-o", block, "--level", "1", "--", *operands)
        self.assertEqual(result.returncode, 0, result.stderr)
        exe = block[:-len(".bin")] + ".exe"
        result = run("wrap", block, "-o", exe)
        self.assertEqual(result.returncode, 0, result.stderr)
        return exe


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
            ("library named again", lambda: write(f"{t}/app.dll", b"another"), None, t,
             [f"{t}/app.dll", "two files under the one name 'app.dll'"]),
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

    def test_each_command_line_gets_its_status_and_its_line(self):
        """Each row: the arguments, the exit status, and the first line printed
        (on standard error when the status is not 0), exactly or as a pattern."""
        app, out, tree = self.app, self.out, self.tree
        see_pack = "(see 'packer pack --help')"
        rows = [
            ([], 64, "packer: a command is missing: pack, list, extract or block (see 'packer --help')"),
            (["frobnicate"], 64, "packer: unknown command 'frobnicate' (see 'packer --help')"),
            (["--frobnicate"], 64, "packer: unknown option '--frobnicate' (see 'packer --help')"),
            (["pack", app], 64, f"packer: pack: --output is required {see_pack}"),
            (["pack", "-o", out], 64, f"packer: pack: APP_LIBRARY is required {see_pack}"),
            (["pack", app, "-o"], 64,
             f"packer: pack: the option --output needs a value, which is missing {see_pack}"),
            (["pack", app, "-o", out, "--level"], 64,
             f"packer: pack: the option --level needs a value, which is missing {see_pack}"),
            (["pack", app, tree, "extra", "-o", out], 64,
             f"packer: pack: unexpected operand 'extra' {see_pack}"),
            (["pack", app, "-o", out, "--levle", "3"], 64,
             f"packer: pack: unknown option '--levle' {see_pack}"),
            (["pack", app, "-o", out, "--level", "0"], 2,
             f"packer: pack: --level: takes a whole number from 1 to 22, not '0' {see_pack}"),
            (["pack", app, "-o", out, "--level=23"], 2,
             f"packer: pack: --level: takes a whole number from 1 to 22, not '23' {see_pack}"),
            (["pack", app, "-o", out, "--level", "5x"], 2,
             f"packer: pack: --level: takes a whole number from 1 to 22, not '5x' {see_pack}"),
            (["pack", app, "-o", out, "--window-log", "28"], 2,
             f"packer: pack: --window-log: takes a whole number from 10 to 27, not '28' {see_pack}"),
            (["pack", app, "-o", out, "--window-log=9"], 2,
             f"packer: pack: --window-log: takes a whole number from 10 to 27, not '9' {see_pack}"),
            (["pack", app, f"--output={out}", "--level=5"], 0,
             r"re:packed 1 file, [\d.]+ KiB, into .*app\.exe: .*"),
            (["pack", app, "-o", out, "--threads", "0"], 2,
             f"packer: pack: --threads: takes a whole number from 1 to 256, not '0' {see_pack}"),
            (["pack", app, "-o", out, "--threads=many"], 2,
             f"packer: pack: --threads: takes a whole number from 1 to 256, not 'many' {see_pack}"),
            (["pack", app, "-o", out, "--uac", "root"], 2,
             "packer: pack: --uac: takes requireAdministrator, highestAvailable or asInvoker, "
             f"not 'root' {see_pack}"),
            (["pack", app, "-o", out, "--version-info", "Colour=blue"], 2,
             r"re:packer: pack: --version-info: takes KEY=VALUE with KEY one of .*; not 'Colour=blue' .*"),
            (["pack", app, "-o", out, "--version-info", "FileVersion"], 2,
             r"re:packer: pack: --version-info: takes KEY=VALUE .*; not 'FileVersion' .*"),
            (["pack", app, "-o", out, "--version-info", "FileVersion=1.2.3.4.5"], 2,
             r"re:packer: pack: --version-info: FileVersion takes one to four numbers .*; not '1\.2\.3\.4\.5' .*"),
            (["pack", app, "-o", out, "--version-info", "ProductVersion=1.65536"], 2,
             r"re:packer: pack: --version-info: ProductVersion takes one to four numbers .*"),
            (["pack", app, "-o", out, "--version-info", "FileVersion=v1"], 2,
             r"re:packer: pack: --version-info: FileVersion takes one to four numbers .*"),
            (["pack", app, "-o", out, "--version-info", "FileDescription=" + "x" * 1025], 2,
             r"re:packer: pack: --version-info: the value of FileDescription is longer than \d+ characters .*"),
            (["pack", "--version"], 0, "re:packer \\d+\\.\\d+\\.\\d+"),
            (["list", out], 0, r"re:\s+SIZE  NAME"),
            (["list", "--json", out], 0, "{"),
            (["list"], 64, "packer: list: OUT.exe is required (see 'packer list --help')"),
            (["list", out, "--frobnicate"], 64,
             "packer: list: unknown option '--frobnicate' (see 'packer list --help')"),
            (["list", "--help"], 0, "show the files that a built executable carries"),
            (["list", "--version"], 0, "re:packer \\d+\\.\\d+\\.\\d+"),
            (["extract", out], 64, "packer: extract: DIR is required (see 'packer extract --help')"),
            (["block", "-o", out + ".bin", "--levle", "3"], 64,
             "packer: block: unknown option '--levle' (see 'packer block --help')"),
            (["block", "-o", out + ".bin", "name"], 64,
             "packer: block: the record 'name' has a name but no file (see 'packer block --help')"),
            (["block", "--window-log", "32", "-o", out + ".bin"], 2,
             "packer: block: --window-log: takes a whole number from 10 to 31, not '32' "
             "(see 'packer block --help')"),
        ]
        for args, status, line in rows:
            with self.subTest(args=args):
                result = run(*args, text=True)
                shown = result.stdout if status == 0 else result.stderr
                self.assertEqual(result.returncode, status, result.stderr)
                first = shown.splitlines()[0] if shown else ""
                if line.startswith("re:"):
                    self.assertRegex(first, "^" + line[3:] + "$")
                else:
                    self.assertEqual(first, line)
                if status != 0:
                    self.assertEqual(shown.count("\n"), 1, shown)
        self.assertFalse(os.path.exists(out + ".bin"))

    def test_every_command_has_help_and_version_and_the_exit_codes(self):
        version = run("--version", text=True)
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout, r"^packer \d+\.\d+\.\d+\n$")
        general = run("--help", text=True)
        self.assertEqual(general.returncode, 0)
        for command in ("pack", "list", "extract", "block"):
            self.assertIn(f"  {command} ", general.stdout)
        fragments = {
            "pack": ["packer pack [OPTIONS] APP_LIBRARY [DIRECTORY]", "-o,--output OUT.exe",
                     "--icon", "--level", "--window-log", "memory", "--no-checksum", "--strict",
                     "--console", "--uac LEVEL", "--version-info KEY=VALUE", "--threads N",
                     "2147483648 bytes"],
            "list": ["packer list [OPTIONS] OUT.exe", "--json"],
            "extract": ["packer extract [OPTIONS] OUT.exe DIR", "empty"],
            "block": ["packer block", "--records"],
        }
        for command, expected in fragments.items():
            with self.subTest(command=command):
                result = run(command, "--help", text=True)
                self.assertEqual(result.returncode, 0)
                for fragment in expected + ["Exit status", "  64  bad usage"]:
                    self.assertIn(fragment, result.stdout)
                self.assertTrue(all(len(l) < 80 for l in result.stdout.splitlines()),
                                result.stdout)
                self.assertEqual(run(command, "--version", text=True).stdout, version.stdout)
        self.assertIn("  64  bad usage", general.stdout)


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
                rows, result = listing(self.out)
                self.assertEqual(rows, [("app.dll", os.path.getsize(ARGS.app))])
                self.assertTrue(result.stdout.splitlines()[-1].startswith("1 file, "))

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

    def progress_shown(self, columns):
        """What a pack draws on a terminal of that many columns (0: unknown)."""
        controller, terminal = pty.openpty()
        fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
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
        summary = process.stdout.read()
        process.stdout.close()
        process.wait()
        os.close(controller)
        self.assertEqual(process.returncode, 0)
        self.assertTrue(summary.startswith(b"packed 2 files"), summary)
        self.assertTrue(shown.endswith(b"\r"), "the line is cleared before the summary")
        return shown

    def test_progress_is_drawn_on_a_terminal_within_its_width(self):
        write(os.path.join(self.tree, "big.bin"), os.urandom(4 * 1024 * 1024))
        shown = self.progress_shown(0)
        self.assertRegex(shown, rb"\rpacking: file [12] of 2, [\d.]+ (bytes|KiB|MiB) of [\d.]+ MiB \(\d+%\)")
        self.assertTrue(all(len(line) < 80 for line in shown.split(b"\r")))
        # A line as wide as the terminal would wrap, and each redraw would add one.
        narrow = self.progress_shown(20)
        self.assertIn(b"\rpacking: file ", narrow)
        self.assertNotIn(b"\n", narrow)
        self.assertTrue(all(len(line) <= 19 for line in narrow.split(b"\r")), narrow)

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

    def test_a_checksum_is_stored_unless_turned_off(self):
        def has_checksum(path):
            data = open(path, "rb").read()
            frame = data.index(b"JUX\x28\xb5\x2f\xfd") + 3
            # Bit 2 of the frame header descriptor: a checksum ends the frame.
            return bool(data[frame + 4] & 0x04)
        block = os.path.join(self.out_dir, "one.bin")
        for options, stored in (((), True), (("--checksum",), True), (("--no-checksum",), False)):
            with self.subTest(options=options):
                result = run("block", "-o", block, *options, "app.dll", self.app)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(has_checksum(block), stored)
                result = pack(self.app, None, self.out, "--quiet", *options)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(has_checksum(self.out), stored)


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
                         rf"^2 files, {total} bytes; attached data \d+ bytes, decoder window \d+ bytes, "
                         "checksum$")

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


class ListJson(Workspace):
    def json_of(self, exe):
        result = run("list", "--json", exe)
        self.assertEqual(result.returncode, 0, result.stderr)
        result.stdout.decode("ascii")
        return json.loads(result.stdout)

    def test_one_document_with_every_record_and_the_totals(self):
        files = {"data/é.txt": b"e" * 300, "日本/😀.bin": b"\0\1\2", "it's 100%.txt": b"",
                 "a/b/c/d.txt": os.urandom(5000)}
        for name, content in files.items():
            write(os.path.join(self.tree, name), content)
        for checksum in ("--checksum", "--no-checksum"):
            with self.subTest(checksum):
                result = pack(self.app, self.tree, self.out, checksum)
                self.assertEqual(result.returncode, 0, result.stderr)
                document = self.json_of(self.out)
                rows, table = listing(self.out)
                self.assertEqual([(r["name"], r["size"]) for r in document["records"]], rows)
                self.assertEqual(sorted(n for n, _ in rows[1:]),
                                 sorted(n.replace("/", "\\") for n in files))
                self.assertEqual(document["files"], 5)
                self.assertEqual(document["bytes"], sum(size for _, size in rows))
                summary = table.stdout.splitlines()[-1]
                self.assertIn(f"attached data {document['attached_data_bytes']} bytes", summary)
                self.assertIn(f"decoder window {document['window_bytes']} bytes", summary)
                self.assertIs(document["checksum"], checksum == "--checksum")

    def test_names_with_any_character_are_escaped(self):
        names = ["app.dll", "tab\there", 'quote"d', "bell\x07 unit\x1f del\x7f", "back\\slash",
                 "😀 ünï", "/abs:olute"]
        exe = self.exe_carrying([(name, b"x") for name in names])
        self.assertEqual([r["name"] for r in self.json_of(exe)["records"]], names)


class Extract(Workspace):
    def tree_files(self, root):
        found = {}
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                found[os.path.relpath(path, root)] = path
        return found

    def test_a_round_trip_gives_the_packed_tree_byte_for_byte(self):
        files = {"readme.txt": b"hello", "empty": b"", "big.bin": os.urandom(300 * 1024),
                 "sub/deeper/x.dat": os.urandom(40000), "sub/données/日本.txt": "é".encode(),
                 "sub/space name.txt": b"s"}
        for name, content in files.items():
            write(os.path.join(self.tree, name), content)
        result = pack(self.app, self.tree, self.out)
        self.assertEqual(result.returncode, 0, result.stderr)
        fresh = os.path.join(self.root, "unpacked", "here")
        empty = os.path.join(self.root, "empty")
        os.makedirs(empty)
        for target in (fresh, empty):
            with self.subTest(target=target):
                result = run("extract", self.out, target)
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                extracted = self.tree_files(target)
                expected = dict(self.tree_files(self.tree), **{"app.dll": self.app})
                self.assertEqual(sorted(extracted), sorted(expected))
                for name, path in expected.items():
                    self.assertTrue(filecmp.cmp(path, extracted[name], shallow=False), name)

    def test_refusals_write_nothing(self):
        self.assertEqual(pack(self.app, None, self.out).returncode, 0)
        full = os.path.join(self.root, "full")
        write(os.path.join(full, "mine.txt"), b"mine")
        plain = os.path.join(self.root, "plain")
        write(plain, b"a file")
        target = os.path.join(self.root, "target")
        damaged = os.path.join(self.root, "damaged.exe")
        data = bytearray(open(self.out, "rb").read())
        data[block_span(self.out)[0]] ^= 0x55
        write(damaged, bytes(data))
        cases = [
            ("a folder with files", self.out, full, [full, "is not empty"]),
            ("a file", self.out, plain, [plain, "is not a folder"]),
            ("damaged data", damaged, target, [damaged, "no attached data header"]),
            ("missing executable", os.path.join(self.root, "none.exe"), target, ["none.exe"]),
        ]
        for name in ["..\\escaped", "sub\\..\\..\\escaped", "C:\\escaped", "/tmp/escaped",
                     "a\\\\escaped", "\\escaped", "escaped\\", ".", "sub\\.\\escaped"]:
            exe = self.exe_carrying([("app.dll", b"MZ"), ("fine.txt", b"fine"), (name, b"evil")])
            cases.append((f"unsafe name {name}", exe, target,
                          [exe, f"unsafe record name '{name}'", "the launcher refuses"]))
        before = self.tree_files(self.root)
        for case, exe, folder, fragments in cases:
            with self.subTest(case):
                result = run("extract", exe, folder, text=True)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
                for fragment in fragments:
                    self.assertIn(fragment, result.stderr)
                self.assertFalse(os.path.exists(target))
                self.assertEqual(self.tree_files(self.root), before)
                self.assertFalse(os.path.exists("/tmp/escaped"))


class Dependencies(Workspace):
    """A library that imports packer_dependency.dll and delay-loads
    packer_delayed.dll, neither of which Windows has."""

    def setUp(self):
        super().setUp()
        self.library = os.path.join(self.root, "dependent.dll")
        with_delay_directory(ARGS.dependent, self.library, "packer_delayed.dll")

    def warning(self, importer, dll, strict=False):
        return (f"packer: {'' if strict else 'warning: '}'{importer}' imports '{dll}', "
                "which is neither in the payload nor part of Windows")

    def test_each_missing_dll_is_named_with_its_importer(self):
        result = pack(self.library, None, self.out, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.splitlines(), [
            self.warning(self.library, "packer_dependency.dll"),
            self.warning(self.library, "packer_delayed.dll")])
        self.assertTrue(result.stdout.startswith("packed 1 file,"), result.stdout)
        # A plugin below the directory is read as well; the DLLs count as
        # carried wherever they lie and however their names are cased.
        plugin = os.path.join(self.tree, "plugins", "plugin.dll")
        write(plugin, open(self.library, "rb").read())
        write(os.path.join(self.tree, "bin", "PACKER_Dependency.DLL"), b"MZ")
        result = pack(self.library, self.tree, self.out, text=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.splitlines(), [
            self.warning(self.library, "packer_delayed.dll"),
            self.warning(plugin, "packer_delayed.dll")])
        write(os.path.join(self.tree, "packer_delayed.dll"), b"MZ")
        result = pack(self.library, self.tree, self.out, "--strict", text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_api_sets_and_system_dlls_need_no_carrying(self):
        data = open(self.library, "rb").read()
        for name in (b"api-ms-win-crt-l1.dll", b"EXT-MS-WIN-X-L1-1.DLL", b"ADVAPI32.dll\0\0\0\0\0\0\0\0\0"):
            with self.subTest(name=name):
                self.assertEqual(len(name), len(b"packer_dependency.dll"))
                write(self.library, data.replace(b"packer_dependency.dll\0", name + b"\0"))
                result = pack(self.library, None, self.out, text=True)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr.splitlines(),
                                 [self.warning(self.library, "packer_delayed.dll")])

    def test_strict_refuses_and_writes_nothing(self):
        write(self.out, b"an earlier build")
        result = pack(self.library, None, self.out, "--strict", text=True)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.splitlines(), [
            self.warning(self.library, "packer_dependency.dll", strict=True),
            self.warning(self.library, "packer_delayed.dll", strict=True),
            "packer: nothing written: --strict refuses a payload with missing DLLs"])
        self.assertEqual(result.stdout, "")
        self.assertEqual(open(self.out, "rb").read(), b"an earlier build")
        self.assert_nothing_left_behind(["app.exe"])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "app", "dependent"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
