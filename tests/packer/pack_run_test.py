#!/usr/bin/env python3
"""A pack of a few hundred files, started under Wine: the demo application
sees its arguments, the launcher's variables and every file with its size
and content, the exit code comes back unchanged, and the unpacked folder is
gone when the executable has ended."""
import argparse
import os
import shutil
import subprocess
import sys
import unittest

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from make_files import content  # noqa: E402  deterministic file contents

ARGS = None
EXIT_CODE = 7
APP_ARGUMENTS = ["hello", "two words", "gr\u00fc\u00dfe", "--exit", str(EXIT_CODE)]


def make_tree(root):
    """{record name: size} of the files written below root."""
    files = {}
    shutil.copytree(ARGS.files, root)
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            files[os.path.relpath(path, root).replace("/", "\\")] = os.path.getsize(path)
    for i in range(300):
        size = {10: 0, 11: 32768, 12: 32769, 13: 400000}.get(i, (i * 937) % 5000)
        relative = f"d{i % 7}/s{i % 3}/f{i}.bin" if i % 50 else f"donn\u00e9es/\u00e9{i}.txt"
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content(relative, size))
        files[relative.replace("/", "\\")] = size
    return files


def windows_to_unix(path):
    result = subprocess.run([ARGS.wine, "winepath", "-u", path], capture_output=True, text=True)
    return result.stdout.strip()


class PackAndRun(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(ARGS.work, ignore_errors=True)
        tree = os.path.join(ARGS.work, "tree")
        cls.files = make_tree(tree)
        cls.exe = os.path.join(ARGS.work, "many.exe")
        cls.pack = subprocess.run([ARGS.packer, "pack", ARGS.app, tree, "-o", cls.exe], capture_output=True, text=True)
        if cls.pack.returncode != 0:
            raise AssertionError(cls.pack.stderr)
        cls.launch = subprocess.run([ARGS.wine, cls.exe] + APP_ARGUMENTS, capture_output=True,
                                 timeout=240)
        cls.output = cls.launch.stdout.decode("utf-8", "replace").replace("\r\n", "\n")

    def section(self, title):
        """The lines after the line that starts with title, up to the next
        line that does not start with a blank."""
        lines = self.output.split("\n")
        start = next(i for i, line in enumerate(lines) if line.startswith(title))
        section = []
        for line in lines[start + 1:]:
            if not line.startswith(" "):
                break
            section.append(line.strip())
        return lines[start], section

    def test_the_image_is_a_launcher(self):
        self.assertRegex(self.pack.stdout, rf"^packed {len(self.files) + 1} files, ")
        pe = pefile.PE(self.exe, fast_load=True)
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, 2)
        block = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".attach")
        self.assertEqual(block.get_data()[:3], b"JUX")

    def test_exit_code_and_arguments_pass_through(self):
        self.assertEqual(self.launch.returncode, EXIT_CODE, self.output + self.launch.stderr.decode())
        title, arguments = self.section("arguments")
        self.assertEqual(title, f"arguments ({len(APP_ARGUMENTS) + 1}):")
        self.assertTrue(arguments[0].startswith("[0] ") and arguments[0].endswith("many.exe"),
                        arguments[0])
        self.assertEqual(arguments[1:], [f"[{i + 1}] {a}" for i, a in enumerate(APP_ARGUMENTS)])

    def test_the_launcher_tells_the_application_where_it_was_started(self):
        _, variables = self.section("environment variables from the launcher")
        values = dict(v.split("=", 1) for v in variables)
        self.assertEqual(windows_to_unix(values["VELDOR_ONEFILE_DIRECTORY"]),
                         os.path.realpath(ARGS.work))
        self.assertIn("VELDOR_ORIGINAL_ARGV0", values)

    def test_every_file_is_unpacked_whole_and_then_removed(self):
        title, listed = self.section("unpacked in ")
        unpacked = {}
        for line in listed:
            size, name = line.split(None, 1)
            unpacked[name] = int(size)
        expected = dict(self.files)
        expected[os.path.basename(ARGS.app)] = os.path.getsize(ARGS.app)
        self.assertEqual(unpacked, expected)
        with open(os.path.join(ARGS.files, "data", "message.txt"), encoding="utf-8") as f:
            self.assertIn(f.read(), self.output)
        directory = windows_to_unix(title[len("unpacked in "):-1])
        self.assertTrue(directory)
        self.assertFalse(os.path.exists(directory), f"{directory} is still there")


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "app", "files", "wine", "work"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
