"""TAVO.EXE as Windows sees the file: its form, its imports, its version
record and its icon, read back from the built program."""

import os
import struct
import unittest

import pefile

EXE = os.environ.get("TAVO_EXE", "")
RT_ICON, RT_GROUP_ICON = 3, 14
WINDOWS_OWN = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll", "gdi32.dll"}


def setUpModule():
    global pe
    pe = pefile.PE(EXE)


class FormTest(unittest.TestCase):
    def test_32_bit_windowed_program_for_subsystem_4_0(self):
        self.assertEqual(pe.FILE_HEADER.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(pe.OPTIONAL_HEADER.Magic, 0x10B)  # PE32
        self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])
        self.assertEqual((pe.OPTIONAL_HEADER.MajorSubsystemVersion, pe.OPTIONAL_HEADER.MinorSubsystemVersion), (4, 0))

    def test_imports_only_windows_own_dlls(self):
        imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        self.assertTrue(imported <= WINDOWS_OWN, imported - WINDOWS_OWN)
        user32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"user32.dll")
        self.assertIn(b"ShowCursor", [function.name for function in user32.imports])


class VersionRecordTest(unittest.TestCase):
    def test_fixed_versions_are_1_0_0_0(self):
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), (0x00010000, 0))
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), (0x00010000, 0))

    def test_strings_in_us_english_unicode(self):
        infos = {info.Key: info for info in pe.FileInfo[0]}
        [table] = infos[b"StringFileInfo"].StringTable
        self.assertEqual(table.LangID.upper(), b"040904B0")
        strings = {key.decode(): value.decode() for key, value in table.entries.items()}
        for key, value in {"FileVersion": "1.00", "ProductVersion": "1.00", "InternalName": "TAVO",
                           "ProductName": "TAVO.EXE", "OriginalFilename": "TAVO.EXE"}.items():
            self.assertEqual(strings.get(key), value, key)
        self.assertIn("copying and pasting", strings["FileDescription"])
        for key in ["CompanyName", "LegalCopyright"]:
            self.assertTrue(strings.get(key), key)
        [translation] = infos[b"VarFileInfo"].Var
        self.assertEqual(translation.entry[b"Translation"], "0x0409 0x04b0")


class IconTest(unittest.TestCase):
    def resource(self, kind):
        [entries] = [t.directory.entries for t in pe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == kind]
        found = {}
        for entry in entries:
            data = entry.directory.entries[0].data.struct
            found[entry.id] = pe.get_data(data.OffsetToData, data.Size)
        return found

    def test_group_holds_the_three_images(self):
        [group] = self.resource(RT_GROUP_ICON).values()
        icons = self.resource(RT_ICON)
        reserved, kind, count = struct.unpack_from("<HHH", group)
        self.assertEqual((reserved, kind, count), (0, 1, 3))
        images = []
        for index in range(count):
            width, height, colours, _, planes, bits, size, icon = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * index)
            body = icons[icon]
            self.assertEqual(len(body), size)
            # The image itself must say what the group says of it.
            _, bmp_width, bmp_height, _, bmp_bits = struct.unpack_from("<IiiHH", body)
            self.assertEqual((bmp_width, bmp_height // 2, bmp_bits), (width, height, bits))
            images.append((width, height, 1 << bits))
        self.assertEqual(sorted(images), [(16, 16, 16), (32, 32, 2), (32, 32, 16)])


if __name__ == "__main__":
    unittest.main()
