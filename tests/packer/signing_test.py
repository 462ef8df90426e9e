#!/usr/bin/env python3
"""Users sign what they ship: a packed executable signed with a throw-away
code-signing certificate verifies, runs as before, and stops verifying when
one byte of its attached data changes, because the block lies in a section
that the signature covers."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

ARGS = None
EXIT_CODE = 5


def run(*command, **kwargs):
    return subprocess.run([str(c) for c in command], capture_output=True, timeout=120, **kwargs)


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="signing-test-")
        cls.key = os.path.join(cls.root, "key.pem")
        cls.cert = os.path.join(cls.root, "cert.pem")
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                   "-subj", "/CN=Packer signing test", "-keyout", cls.key, "-out", cls.cert,
                   "-addext", "keyUsage=critical,digitalSignature",
                   "-addext", "extendedKeyUsage=codeSigning")
        if made.returncode != 0:
            raise AssertionError(made.stderr)
        cls.unsigned = os.path.join(cls.root, "app.exe")
        packed = run(ARGS.packer, "pack", ARGS.app, ARGS.files, "-o", cls.unsigned, "--quiet")
        if packed.returncode != 0:
            raise AssertionError(packed.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def sign(self, name):
        signed = os.path.join(self.root, name)
        result = run("osslsigncode", "sign", "-h", "sha256", "-certs", self.cert, "-key", self.key,
                     "-n", "Packer signing test", "-in", self.unsigned, "-out", signed)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return signed

    def verify(self, path):
        return run("osslsigncode", "verify", "-CAfile", self.cert, "-in", path)

    def launch(self, path):
        """Exit status and output, without what differs from run to run."""
        result = run(ARGS.wine, path, "signed", "--exit", EXIT_CODE)
        output = result.stdout.replace(os.path.basename(path).encode(), b"EXE")
        output = re.sub(rb"onefile_\d+_\d+_[\w-]+", b"onefile_", output)
        output = re.sub(rb"(_PARENT|_TIME_US|_RANDOM)=\S+", rb"\1=", output)
        return result.returncode, output

    def test_signed_executable_verifies_and_runs_as_before(self):
        signed = self.sign("signed.exe")
        verified = self.verify(signed)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        status, output = self.launch(signed)
        self.assertEqual(status, EXIT_CODE, output)
        self.assertEqual((status, output), self.launch(self.unsigned))

    def test_one_changed_byte_of_the_block_breaks_the_signature(self):
        signed = self.sign("to_damage.exe")
        pe = pefile.PE(signed, fast_load=True)
        block = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".attach")
        at = block.PointerToRawData + block.Misc_VirtualSize // 2
        pe.close()
        data = bytearray(open(signed, "rb").read())
        data[at] ^= 0x01
        damaged = os.path.join(self.root, "damaged.exe")
        with open(damaged, "wb") as f:
            f.write(data)
        verified = self.verify(damaged)
        self.assertNotEqual(verified.returncode, 0, verified.stdout)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "app", "files", "wine"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
