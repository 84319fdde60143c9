"""The Windows builds as files, without Wine: what a user downloads.

For each Windows build named (ZB_WIN32_BUILD_DIR, ZB_WIN64_BUILD_DIR, see
wine_env.py) zettelblick.exe must be a GUI program for its processor, carry
the manifest for that processor, import only DLLs that ship with Windows (the
C and C++ runtimes linked in) and stay small; the release zip must hold that
program with its picture, sound, sample settings file and read-me (plain
ASCII with Windows line ends, for Notepad), and the Windows Installer package
the same files for Program Files\Zettelblick (read with msiinfo).
"""

import os
import re
import struct
import subprocess
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_env  # noqa: E402

# Per build: PE machine, optional-header magic, manifest processorArchitecture.
PE_FACTS = {32: (0x014C, 0x010B, b"x86"), 64: (0x8664, 0x020B, b"amd64")}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# DLLs of every Windows installation (lower case).
SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
               "msimg32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
               "shlwapi.dll", "user32.dll", "uxtheme.dll", "version.dll",
               "windowscodecs.dll", "winmm.dll"}
MAX_SIZE = 1 << 20  # a stripped build is about 300 KB; debug information is megabytes
RELEASE_FILES = ("zettelblick.exe", "zettelblick.ini", "thebat.jpg", "message.wav", "README.txt",
                 "LICENSE.txt")


def pe_header(data):
    """(machine, optional-header magic, subsystem, imported DLL names) of a PE file."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    directories = optional + (96 if magic == 0x010B else 112)
    imports_rva = struct.unpack_from("<I", data, directories + 8)[0]
    table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
             for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw_size, raw_offset in table:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError("address %#x in no section" % rva)

    dlls = []
    entry = offset(imports_rva)
    while struct.unpack_from("<I", data, entry + 12)[0]:  # the name of each descriptor
        name = offset(struct.unpack_from("<I", data, entry + 12)[0])
        dlls.append(data[name:data.index(b"\0", name)].decode("ascii"))
        entry += 20
    return machine, magic, subsystem, dlls


class WindowsExeTest(unittest.TestCase):
    def builds(self):
        """(bits, build folder) of each build named in the environment."""
        found = [(t.bits, os.environ[t.build_variable]) for t in (wine_env.WIN32, wine_env.WIN64)
                 if os.environ.get(t.build_variable)]
        self.assertTrue(found, "no Windows build named")
        return found

    def test_program_is_a_self_contained_gui_program_for_its_processor(self):
        for bits, build in self.builds():
            with self.subTest(bits=bits):
                with open(os.path.join(build, "app", "zettelblick.exe"), "rb") as f:
                    data = f.read()
                machine, magic, arch = PE_FACTS[bits]
                header = pe_header(data)
                self.assertEqual(header[:3], (machine, magic, IMAGE_SUBSYSTEM_WINDOWS_GUI))
                dlls = header[3]
                self.assertIn("kernel32.dll", [d.lower() for d in dlls])
                self.assertEqual([d for d in dlls if d.lower() not in SYSTEM_DLLS], [])
                self.assertLess(len(data), MAX_SIZE)
                # The program's own identity, and common controls of any processor.
                self.assertEqual(re.findall(rb'processorArchitecture="([^"]*)"', data),
                                 [arch, b"*"])

    def test_release_zip_holds_the_program_and_its_files(self):
        for bits, build in self.builds():
            with self.subTest(bits=bits):
                name = "zettelblick-win%d" % bits
                with zipfile.ZipFile(os.path.join(build, "dist", name + ".zip")) as release:
                    self.assertEqual(sorted(release.namelist()),
                                     sorted(name + "/" + f for f in RELEASE_FILES))
                    packed = release.read(name + "/zettelblick.exe")
                    texts = [release.read(name + "/" + f) for f in ("README.txt", "LICENSE.txt")]
                # Windows text files: ASCII with CRLF line ends.
                for text in texts:
                    text.decode("ascii")
                    self.assertTrue(text.endswith(b"\r\n"))
                    self.assertEqual(text.count(b"\n"), text.count(b"\r\n"), "a bare LF")
                    self.assertEqual(text.count(b"\r"), text.count(b"\r\n"), "a bare CR")
                with open(os.path.join(build, "app", "zettelblick.exe"), "rb") as f:
                    self.assertEqual(packed, f.read())

    def test_installer_package_puts_the_release_files_into_program_files(self):
        for bits, build in self.builds():
            with self.subTest(bits=bits):
                msi = os.path.join(build, "dist", "zettelblick-win%d.msi" % bits)

                def table(name):
                    out = subprocess.run(["msiinfo", "export", msi, name], check=True,
                                         capture_output=True, text=True).stdout
                    return [line.split("\t") for line in out.splitlines()[3:]]
                files = sorted(row[2].split("|")[-1] for row in table("File"))
                # The zip's files and the install mark, by which the program
                # knows that it is installed.
                self.assertEqual(files, sorted(RELEASE_FILES + ("zettelblick.installed",)))
                properties = dict(row[:2] for row in table("Property"))
                self.assertRegex(properties["ProductVersion"], r"^\d+\.\d+\.\d+$")
                program_files = "ProgramFiles64Folder" if bits == 64 else "ProgramFilesFolder"
                self.assertIn(["INSTALLDIR", program_files, "Zettelblick"], table("Directory"))
                self.assertEqual(properties["ALLUSERS"], "1")
                self.assertEqual(properties["UpgradeCode"],
                                 "{85D63B27-78EA-4F9F-9BAB-A47D2BCDA824}")


if __name__ == "__main__":
    unittest.main()
