#!/usr/bin/env python3
"""The two packers as users get them from ./run dist: the Linux packer needs
no toolchain and no library beyond the system's C and C++ runtimes, the
Windows packer imports only system DLLs, and both write the same bytes for
the same inputs and options."""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

ARGS = None
EXIT_CODE = 7
# What an executable linked with the system's toolchain may load on Linux.
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1"}
# The DLLs of every supported Windows that packer.exe may import.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll"}


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


class Standalone(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="standalone-test-")
        cls.app = os.path.join(cls.root, "app.dll")
        shutil.copy(ARGS.app, cls.app)
        cls.tree = os.path.join(cls.root, "tree")
        write(os.path.join(cls.tree, "readme.txt"), b"read me\n" * 100)
        write(os.path.join(cls.tree, "donn\u00e9es", "gr\u00fc\u00dfe.txt"), "grüße\n".encode())
        write(os.path.join(cls.tree, "bin", "blob.bin"), bytes(range(256)) * 2000)
        write(os.path.join(cls.tree, "bin", "empty"), b"")
        # No compiler, linker or resource compiler anywhere on this PATH.
        cls.bare_path = os.path.join(cls.root, "empty-path")
        os.makedirs(cls.bare_path)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def pack_on_linux(self, out, *options):
        result = subprocess.run([ARGS.packer, "pack", self.app, self.tree, "-o", out, "--quiet",
                                 *options], capture_output=True, env={"PATH": self.bare_path})
        self.assertEqual(result.returncode, 0, result.stderr)
        return open(out, "rb").read()

    def test_linux_packer_loads_only_the_systems_runtime_libraries(self):
        dynamic = subprocess.run(["readelf", "-d", ARGS.packer], capture_output=True, text=True,
                                 check=True).stdout
        needed = {line.split("[")[1].rstrip("]") for line in dynamic.splitlines() if "(NEEDED)" in line}
        self.assertTrue(needed <= SYSTEM_LIBRARIES, needed)

    def test_windows_packer_is_static_and_imports_only_system_dlls(self):
        pe = pefile.PE(ARGS.windows_packer)
        imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        self.assertTrue(imported <= SYSTEM_DLLS, imported)

    def test_a_pack_without_a_toolchain_runs_under_wine(self):
        for options in ([], ["--console"]):
            with self.subTest(options=options):
                out = os.path.join(self.root, "bare.exe")
                self.pack_on_linux(out, *options)
                run = subprocess.run([ARGS.wine, out, "--exit", str(EXIT_CODE)],
                                     capture_output=True, timeout=120)
                self.assertEqual(run.returncode, EXIT_CODE, run.stderr)
                self.assertIn(f"returning {EXIT_CODE}".encode(), run.stdout)

    def test_windows_packer_writes_the_same_bytes_as_the_linux_one(self):
        for options in ([], ["--console", "--uac", "asInvoker", "--level", "3", "--threads", "2",
                             "--version-info", "FileVersion=1.2.3", "--version-info",
                             "ProductName=Gr\u00fc\u00dfe"]):
            with self.subTest(options=options):
                linux = self.pack_on_linux(os.path.join(self.root, "linux.exe"), *options)
                out = os.path.join(self.root, "windows.exe")
                result = subprocess.run([ARGS.wine, ARGS.windows_packer, "pack", self.app, self.tree,
                                         "-o", out, "--quiet", *options], capture_output=True,
                                        timeout=120)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(open(out, "rb").read(), linux)
        listing = subprocess.run([ARGS.wine, ARGS.windows_packer, "list", out],
                                 capture_output=True, timeout=120)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertIn("donn\u00e9es\\gr\u00fc\u00dfe.txt".encode(), listing.stdout)

    def test_windows_packer_refuses_devices_and_directories_as_output(self):
        directory = os.path.join(self.root, "folder.exe")
        os.makedirs(directory, exist_ok=True)
        for output in ("NUL", "CON", "aux.exe", directory):
            with self.subTest(output=output):
                result = subprocess.run([ARGS.wine, ARGS.windows_packer, "pack", self.app, "-o", output,
                                         "--quiet"], capture_output=True, timeout=120)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stderr.decode(),
                                 f"packer: cannot write '{output}': it exists and is not a regular file\r\n")
        self.assertEqual(os.listdir(directory), [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "windows-packer", "app", "wine"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
