#!/usr/bin/env python3
"""Reads built launcher executables with pefile and checks what a clean
Windows machine will see: headers, imports, resources, the checksum and the
attached data in its own read-only section. The images come from the
packer's pack command and from add_onefile_executable (the wrap command),
with the default options and with the ones that change the image."""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

import pefile

ARGS = None

MIB = 1024 * 1024
ICON_SIZES = [16, 24, 32, 48, 64, 72, 96, 128, 256]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24

# DLLs that every supported Windows has in its system folder. The universal
# C runtime is one of them from Windows 10 on, and an update before that.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll",
    "ole32.dll", "oleaut32.dll", "comdlg32.dll", "comctl32.dll", "msvcrt.dll",
    "ntdll.dll", "psapi.dll", "shlwapi.dll", "version.dll", "winspool.drv",
    "ws2_32.dll", "bcrypt.dll", "crypt32.dll", "userenv.dll", "rpcrt4.dll",
    "ucrtbase.dll",
}

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
WINDOWS_SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"


def pack(out, *options, files=True):
    command = [ARGS.packer, "pack", ARGS.app] + ([ARGS.files] if files else []) + \
        ["-o", out, "--quiet"] + list(options)
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(f"pack failed: {result.stderr}")
    return out


def resources(pe):
    """{type: {id: [bytes of each language]}}"""
    out = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        by_id = out.setdefault(kind.struct.Id, {})
        for entry in kind.directory.entries:
            by_id[entry.struct.Id] = [
                pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                for language in entry.directory.entries]
    return out


def write_icon(path, images):
    """A minimal .ico: images is a list of (size, data)."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def bitmap(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes([0x40, 0x80, 0xC0, 0xFF]) * size * size + bytes(((size + 31) // 32 * 4) * size)


def execution_level(manifest):
    root = ET.fromstring(manifest)
    return root.find(f"{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                     f"{ASM_V3}requestedExecutionLevel").attrib


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name)


class ImageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(ARGS.work, ignore_errors=True)
        os.makedirs(ARGS.work)
        cls.packed_path = pack(os.path.join(ARGS.work, "packed.exe"))
        cls.images = {"packed": pefile.PE(cls.packed_path),
                      "linked": pefile.PE(ARGS.linked)}

    def each_image(self):
        for name, pe in self.images.items():
            with self.subTest(image=name):
                yield pe

    def test_headers_ask_for_a_gui_x64_program_with_16_mib_of_stack(self):
        for pe in self.each_image():
            self.assertEqual(pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"])
            self.assertEqual(pe.OPTIONAL_HEADER.Magic, pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS)
            self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])
            self.assertEqual((pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                              pe.OPTIONAL_HEADER.MinorSubsystemVersion), (6, 0))
            self.assertEqual(pe.OPTIONAL_HEADER.SizeOfStackReserve, 16 * MIB)
            self.assertTrue(pe.FILE_HEADER.Characteristics & 0x0002, "executable image")
            self.assertFalse(pe.FILE_HEADER.Characteristics & 0x2000, "not a DLL")
            # Nothing that changes from one build to the next, and no build paths.
            self.assertEqual(pe.FILE_HEADER.TimeDateStamp, 0)
            self.assertEqual(pe.FILE_HEADER.PointerToSymbolTable, 0)
            self.assertFalse(hasattr(pe, "DIRECTORY_ENTRY_DEBUG"))
            for flag in ("DYNAMIC_BASE", "NX_COMPAT", "HIGH_ENTROPY_VA"):
                self.assertTrue(getattr(pe.OPTIONAL_HEADER, "IMAGE_DLLCHARACTERISTICS_" + flag), flag)

    def test_code_is_built_for_processors_with_avx2(self):
        # 256-bit vector registers come with AVX2, shlx and the like with
        # BMI2, which every AVX2 processor has; older x86-64 code uses neither.
        code = subprocess.run(["x86_64-w64-mingw32-objdump", "-d", "--no-show-raw-insn",
                               self.packed_path], capture_output=True, text=True, check=True).stdout
        self.assertIn("%ymm", code)
        self.assertRegex(code, r"\t(shlx|shrx|sarx|bzhi|rorx) ", "no BMI2 code")

    def test_only_system_dlls_are_imported(self):
        for pe in self.each_image():
            imported = [entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT]
            imported += [entry.dll.decode().lower()
                         for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
            self.assertIn("kernel32.dll", imported)
            for dll in imported:
                self.assertTrue(dll in SYSTEM_DLLS or dll.startswith("api-ms-win-crt-"),
                                f"{dll} is not on a clean Windows")

    def test_only_the_kernel_and_the_runtime_are_loaded_with_the_image(self):
        # Every other library serves one role only and is loaded where that
        # role calls it, so the loading child never maps it.
        for pe in self.each_image():
            for entry in pe.DIRECTORY_ENTRY_IMPORT:
                dll = entry.dll.decode().lower()
                self.assertTrue(dll in ("kernel32.dll", "msvcrt.dll", "ucrtbase.dll")
                                or dll.startswith("api-ms-win-crt-"),
                                f"{dll} is imported")

    def test_manifest_is_embedded_unchanged_and_says_what_windows_needs(self):
        with open(ARGS.manifest, "rb") as f:
            expected = f.read()
        for pe in self.each_image():
            manifests = resources(pe)[RT_MANIFEST]
            self.assertEqual(list(manifests), [1])
            self.assertEqual(manifests[1], [expected])
        root = ET.fromstring(expected)
        self.assertEqual(root.tag, ASM_V1 + "assembly")
        self.assertEqual(execution_level(expected), {"level": "requireAdministrator", "uiAccess": "false"})
        long_paths = root.find(f"{ASM_V3}application/{ASM_V3}windowsSettings/"
                               f"{WINDOWS_SETTINGS_2016}longPathAware")
        self.assertEqual(long_paths.text, "true")
        identities = root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
        self.assertEqual(len(identities), 1)
        self.assertEqual(identities[0].attrib, {
            "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
            "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"})
        systems = root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/"
                               f"{COMPATIBILITY}supportedOS")
        self.assertEqual(sorted(s.attrib["Id"] for s in systems), sorted(SUPPORTED_OS))

    def check_icon_group(self, pe, expected):
        """expected: [(size, 'png' or 'bmp', data or None)] in group order."""
        found = resources(pe)
        self.assertEqual(sorted(found), [RT_ICON, RT_GROUP_ICON, RT_MANIFEST], "no other resources")
        self.assertNotIn(RT_VERSION, found)
        self.assertEqual(list(found[RT_GROUP_ICON]), [1])
        (group,) = found[RT_GROUP_ICON][1]
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, len(expected)))
        for i, (size, form, data) in enumerate(expected):
            width, height, colours, _, planes, bits, length, icon_id = \
                struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            self.assertEqual((width or 256, height or 256, colours, planes, bits),
                             (size, size, 0, 1, 32))
            (image,) = found[RT_ICON][icon_id]
            self.assertEqual(len(image), length)
            if data is not None:
                self.assertEqual(image, data)
            if form == "png":
                self.assertTrue(image.startswith(PNG_SIGNATURE))
                self.assertEqual(image[12:16], b"IHDR")
                self.assertEqual(struct.unpack_from(">II", image, 16), (size, size))
            else:
                header_size, w, h, image_planes, image_bits = struct.unpack_from("<IiiHH", image)
                self.assertEqual((header_size, w, h, image_planes, image_bits),
                                 (40, size, 2 * size, 1, 32))

    def test_default_icon_group_has_nine_images_bitmaps_up_to_128_and_png_at_256(self):
        expected = [(s, "png" if s == 256 else "bmp", None) for s in ICON_SIZES]
        for pe in self.each_image():
            self.check_icon_group(pe, expected)

    def test_a_users_icon_replaces_the_default_one(self):
        own = resources(self.images["packed"])[RT_ICON]
        png = next(data for (data,) in own.values() if data.startswith(PNG_SIGNATURE))
        icon = os.path.join(ARGS.work, "mine.ico")
        write_icon(icon, [(16, bitmap(16)), (256, png)])
        first = pack(os.path.join(ARGS.work, "with_icon.exe"), "--icon", icon)
        self.check_icon_group(pefile.PE(first), [(16, "bmp", bitmap(16)), (256, "png", png)])
        second = pack(os.path.join(ARGS.work, "with_icon_again.exe"), "--icon", icon)
        self.assertEqual(open(first, "rb").read(), open(second, "rb").read())

    def test_block_is_the_last_section_read_only_and_reached_through_the_descriptor(self):
        with open(ARGS.block, "rb") as f:
            block = f.read()
        for pe in self.each_image():
            attach = section(pe, b".attach")
            self.assertIs(pe.sections[-1], attach)
            self.assertEqual(attach.Misc_VirtualSize, len(block))
            self.assertEqual(attach.get_data()[:len(block)], block)
            flags = attach.Characteristics
            self.assertTrue(flags & 0x40000000, "readable")
            self.assertFalse(flags & 0xA0000000, "neither writable nor executable")
            # The descriptor: the block's address, which a base relocation
            # adjusts, and its length.
            descriptor = section(pe, b".attdesc").VirtualAddress
            base = pe.OPTIONAL_HEADER.ImageBase
            self.assertEqual(pe.get_qword_at_rva(descriptor), base + attach.VirtualAddress)
            self.assertEqual(pe.get_qword_at_rva(descriptor + 8), len(block))
            relocated = {entry.rva for table in pe.DIRECTORY_ENTRY_BASERELOC
                         for entry in table.entries if entry.type == 10}
            self.assertIn(descriptor, relocated)

    def test_sizes_and_checksum_agree_with_the_sections(self):
        for pe in self.each_image():
            alignment = pe.OPTIONAL_HEADER.SectionAlignment
            last = pe.sections[-1]
            end = last.VirtualAddress + last.Misc_VirtualSize
            self.assertEqual(pe.OPTIONAL_HEADER.SizeOfImage, (end + alignment - 1) // alignment * alignment)
            self.assertEqual(pe.OPTIONAL_HEADER.SizeOfInitializedData,
                             sum(s.SizeOfRawData for s in pe.sections if s.Characteristics & 0x40))
            self.assertEqual(len(pe.__data__), last.PointerToRawData + last.SizeOfRawData, "no overlay")
            rsrc = section(pe, b".rsrc")
            directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2]
            self.assertEqual((directory.VirtualAddress, directory.Size),
                             (rsrc.VirtualAddress, rsrc.Misc_VirtualSize))
            self.assertNotEqual(pe.OPTIONAL_HEADER.CheckSum, 0)
            self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())

    def test_same_inputs_give_the_same_bytes_by_either_way_of_making_them(self):
        os.makedirs(os.path.join(ARGS.work, "again"), exist_ok=True)
        again = pack(os.path.join(ARGS.work, "again", "other_name.exe"))
        packed = open(self.packed_path, "rb").read()
        self.assertEqual(open(again, "rb").read(), packed)
        self.assertEqual(open(ARGS.linked, "rb").read(), packed)

    def test_console_and_execution_level_options_change_only_their_fields(self):
        packed = self.images["packed"]
        for options, subsystem, level in (
                (["--console"], "IMAGE_SUBSYSTEM_WINDOWS_CUI", "requireAdministrator"),
                (["--uac", "asInvoker"], "IMAGE_SUBSYSTEM_WINDOWS_GUI", "asInvoker"),
                (["--uac", "highestAvailable", "--console"], "IMAGE_SUBSYSTEM_WINDOWS_CUI",
                 "highestAvailable")):
            with self.subTest(options=options):
                pe = pefile.PE(pack(os.path.join(ARGS.work, "option.exe"), *options))
                self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE[subsystem])
                (manifest,) = resources(pe)[RT_MANIFEST][1]
                self.assertEqual(execution_level(manifest), {"level": level, "uiAccess": "false"})
                self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())
                self.assertEqual(pe.OPTIONAL_HEADER.SizeOfStackReserve, 16 * MIB)
                self.assertEqual(section(pe, b".attach").get_data(),
                                 section(packed, b".attach").get_data())

    def test_version_info_fills_strings_and_the_fixed_part(self):
        strings = {"FileVersion": "1.2.3.4", "ProductVersion": "7.5", "ProductName": "Tool",
                   "CompanyName": "Dörfler & Söhne", "FileDescription": "A tool",
                   "LegalCopyright": "(c) 2026", "OriginalFilename": "tool.exe",
                   "InternalName": "tool"}
        options = [o for key, value in strings.items() for o in ("--version-info", f"{key}={value}")]
        pe = pefile.PE(pack(os.path.join(ARGS.work, "version.exe"), *options))
        self.assertIn(RT_VERSION, resources(pe))
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual(fixed.Signature, 0xFEEF04BD)
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010002, 0x00030004))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00070005, 0))
        self.assertEqual(fixed.FileType, 1)
        found = {}
        translations = []
        for info in pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    found.update({k.decode(): v.decode() for k, v in table.entries.items()})
            if info.Key == b"VarFileInfo":
                translations += [var.entry for var in info.Var]
        self.assertEqual(found, strings)
        self.assertTrue(translations, "a translation list")
        self.assertEqual(pe.OPTIONAL_HEADER.CheckSum, pe.generate_checksum())


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("packer", "app", "files", "linked", "block", "manifest", "work"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
