#!/usr/bin/env python3
"""Shows that inspect_exe.py rejects the faults it exists to catch.

  inspect_exe_test.py --arch {amd64|x86} --icon <ico> --manifest <manifest> <exe>

Takes a good build of tolvane.exe, damages one thing at a time in a copy of
its bytes (a resource's language or id, a version field, the manifest, an
import, a header field) and expects the inspector to name that fault. The
undamaged file must pass, so that each failure is the damage's doing.
"""
import argparse
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import inspect_exe  # noqa: E402

ARGS = None


def patch(data, offset, new):
    data[offset:offset + len(new)] = new


def resource(pe, type_, name=None):
    for r in pe.resources():
        if r.type == type_ and (name is None or r.name == name):
            return r
    raise AssertionError("the good build has no resource of type %r" % type_)


def set_entry_id(data, pe, rva, value):
    patch(data, pe.offset_of(rva, 4), struct.pack("<I", value))


def replace_in_resource(data, pe, r, old, new):
    assert len(old) == len(new)
    at = r.data.find(old)
    assert at >= 0, "%r not in the resource" % old
    patch(data, pe.offset_of(r.data_rva + at, len(new)), new)


def utf16(text):
    return text.encode("utf-16-le")


# Each damage: (label, function(data, pe) that damages `data`, words the
# inspector's report must contain).
def other_machine(data, pe):
    patch(data, pe.machine_offset, struct.pack("<H", 0x014C if pe.machine == 0x8664 else 0x8664))


def console_subsystem(data, pe):
    patch(data, pe.subsystem_offset, struct.pack("<H", 3))


def version_in_us_english(data, pe):
    set_entry_id(data, pe, resource(pe, 16).entry_rvas[2], 0x0409)


def icon_image_numbered_1(data, pe):
    set_entry_id(data, pe, resource(pe, 3).entry_rvas[1], 1)


def icon_image_in_us_english(data, pe):
    set_entry_id(data, pe, resource(pe, 3).entry_rvas[2], 0x0409)


def group_names_image_1(data, pe):
    r = resource(pe, 14)
    patch(data, pe.offset_of(r.data_rva + 18, 2), struct.pack("<H", 1))


def extra_resource_type(data, pe):
    # The manifest's type entry turned into an RT_RCDATA: a resource that
    # must not be there (and the manifest goes missing).
    set_entry_id(data, pe, resource(pe, 24).entry_rvas[0], 10)


def struc_version_0x10000(data, pe):
    r = resource(pe, 16)
    signature = r.data.find(struct.pack("<I", 0xFEEF04BD))
    patch(data, pe.offset_of(r.data_rva + signature + 4, 4), struct.pack("<I", 0x10000))


def file_version_2(data, pe):
    r = resource(pe, 16)
    signature = r.data.find(struct.pack("<I", 0xFEEF04BD))
    patch(data, pe.offset_of(r.data_rva + signature + 8, 4), struct.pack("<I", 0x00020000))


def comments_changed(data, pe):
    replace_in_resource(data, pe, resource(pe, 16), utf16("Comments\0Tolvane"), utf16("Comments\0Tolvanf"))


def string_table_in_us_english(data, pe):
    replace_in_resource(data, pe, resource(pe, 16), utf16("080404B0"), utf16("040904B0"))


def string_length_past_its_table(data, pe):
    r = resource(pe, 16)
    key = r.data.find(utf16("Comments"))
    patch(data, pe.offset_of(r.data_rva + key - 6, 2), struct.pack("<H", 0x200))


def translation_us_english(data, pe):
    replace_in_resource(data, pe, resource(pe, 16), struct.pack("<HH", 0x0804, 0x04B0), struct.pack("<HH", 0x0409, 0x04B0))


def manifest_for_arm64(data, pe):
    r = resource(pe, 24)
    arch = b'"amd64"' if b'"amd64"' in r.data else b'"x86"'
    replace_in_resource(data, pe, r, arch, b'"arm64"' if arch == b'"amd64"' else b'"ia6"')


def manifest_wrong_token(data, pe):
    replace_in_resource(data, pe, resource(pe, 24), b"6595b64144ccf1df", b"6595b64144ccf1de")


def import_not_shipped_with_windows(data, pe):
    at = data.find(b"msvcrt.dll\0")
    assert at >= 0
    patch(data, at, b"libgcc.dll\0")


def imports_the_message_filter(data, pe):
    # A name of the same length in the import table, so nothing moves.
    at = data.find(b"SetUnhandledExceptionFilter\0")
    assert at >= 0
    patch(data, at, b"ChangeWindowMessageFilterEx\0")


DAMAGES = [
    ("other machine", other_machine, "machine is"),
    ("console subsystem", console_subsystem, "subsystem is 3"),
    ("version in US English", version_in_us_english, "unexpected resource RT_VERSION/1/0x0409"),
    ("icon image numbered 1", icon_image_numbered_1, "unexpected resource RT_ICON/1/0x0000"),
    ("icon image in US English", icon_image_in_us_english, "missing resource RT_ICON/3/0x0000"),
    ("group names image 1", group_names_image_1, "DEFAULT_ICON nId is 1"),
    ("extra resource type", extra_resource_type, "unexpected resource 10/1/0x0000"),
    ("dwStrucVersion 0x10000", struc_version_0x10000, "dwStrucVersion is 0x10000"),
    ("file version 2.0", file_version_2, "dwFileVersionMS is 0x20000"),
    ("Comments changed", comments_changed, "string Comments is 'Tolvanf'"),
    ("string table in US English", string_table_in_us_english, "StringFileInfo tables"),
    ("string length past its table", string_length_past_its_table, "runs past its parent"),
    ("translation US English", translation_us_english, "Translation is (1033, 1200)"),
    ("manifest for another architecture", manifest_for_arm64, "RT_MANIFEST 1"),
    ("manifest with a wrong public key token", manifest_wrong_token, "publicKeyToken"),
    ("import not shipped with Windows", import_not_shipped_with_windows, "libgcc.dll, which does not ship"),
    ("message filter imported", imports_the_message_filter, "imports ChangeWindowMessageFilterEx, which older"),
]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class InspectorRejectsDamage(unittest.TestCase):
    def setUp(self):
        self.exe = read(ARGS.exe)
        self.icon = read(ARGS.icon)
        self.manifest = read(ARGS.manifest)

    def faults_of(self, data):
        try:
            faults, _ = inspect_exe.inspect(ARGS.arch, bytes(data), self.icon, self.manifest)
        except inspect_exe.Malformed as e:
            return ["malformed: %s" % e]
        return faults

    def test_the_good_build_passes(self):
        self.assertEqual(self.faults_of(self.exe), [])

    def test_each_damage_is_named(self):
        pe = inspect_exe.PeFile(self.exe)
        for label, damage, words in DAMAGES:
            with self.subTest(label):
                data = bytearray(self.exe)
                damage(data, pe)
                self.assertNotEqual(bytes(data), self.exe, "the damage changed nothing")
                faults = self.faults_of(data)
                self.assertTrue(any(words in f for f in faults),
                                "expected a fault containing %r, got %r" % (words, faults))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--arch", required=True, choices=sorted(inspect_exe.ARCHES))
    parser.add_argument("--icon", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("exe")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
