#!/usr/bin/env python3
"""Checks a built tolvane.exe from the outside, without running it.

  inspect_exe.py --arch {amd64|x86} --icon <ico> --manifest <manifest> <exe>

Reads the PE file with the standard library only and fails, naming every
fault it finds, unless:
  - the machine and the optional-header kind match the architecture and the
    subsystem is the Windows GUI;
  - every imported DLL ships with Windows (no MinGW runtime DLLs that a user
    would not have);
  - the resource tree is exactly the icon image RT_ICON 3, the icon group
    RT_GROUP_ICON "DEFAULT_ICON", the version resource RT_VERSION 1 in
    Chinese (Simplified) and the manifest RT_MANIFEST 1, each with the
    expected bytes or fields, and nothing else.
Prints a short summary when all holds.
"""
import argparse
import collections
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
RESOURCE_TYPE_NAMES = {RT_ICON: "RT_ICON", RT_GROUP_ICON: "RT_GROUP_ICON",
                       RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}

LANG_NEUTRAL = 0
LANG_ZH_CN = 0x0804

ARCHES = {
    # arch: (machine, optional-header magic)
    "amd64": (0x8664, 0x20B),
    "x86": (0x014C, 0x10B),
}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# DLLs every supported Windows has. The universal C runtime's api-ms-win-crt
# sets are part of Windows 10 and later, so a UCRT toolchain may use them.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll",
               "advapi32.dll", "msvcrt.dll"}
SYSTEM_DLL_PREFIXES = ("api-ms-win-crt-",)
# Functions the program uses only where the system has them: imported, they
# would keep it from starting on a Windows without them.
LOOKED_UP_AT_RUN_TIME = {"ChangeWindowMessageFilterEx", "ChangeWindowMessageFilter"}

ICON_IMAGE_OFFSET = 22
ICON_IMAGE_SIZE = 4264
ICON_FILE_SIZE = ICON_IMAGE_OFFSET + ICON_IMAGE_SIZE

VERSION_STRINGS = [
    ("FileVersion", "1.0.0.0"),
    ("FileDescription", "Tolvane"),
    ("ProductName", "Tolvane"),
    ("ProductVersion", "1.0.0.0"),
    ("CompanyName", "Tolvane"),
    ("LegalCopyright", None),  # any non-empty ASCII text
    ("Comments", "Tolvane"),
]
FIXED_FILE_INFO = [
    ("dwSignature", 0xFEEF04BD),
    ("dwStrucVersion", 0),
    ("dwFileVersionMS", 0x00010000),
    ("dwFileVersionLS", 0),
    ("dwProductVersionMS", 0x00010000),
    ("dwProductVersionLS", 0),
    ("dwFileFlagsMask", 0),
    ("dwFileFlags", 0),
    ("dwFileOS", 4),
    ("dwFileType", 1),
    ("dwFileSubtype", 0),
    ("dwFileDateMS", 0),
    ("dwFileDateLS", 0),
]

ASM_NS = "urn:schemas-microsoft-com:asm.v1"
XML_DECLARATION = b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'


# One resource; entry_rvas are where its type, name and language directory
# entries lie, data_rva where its bytes lie.
Resource = collections.namedtuple("Resource", "type name language data entry_rvas data_rva")


class Malformed(Exception):
    """The file cannot be read as what it claims to be."""


def u16(data, offset):
    if offset < 0 or offset + 2 > len(data):
        raise Malformed("read of 2 bytes at 0x%x beyond %d bytes" % (offset, len(data)))
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    if offset < 0 or offset + 4 > len(data):
        raise Malformed("read of 4 bytes at 0x%x beyond %d bytes" % (offset, len(data)))
    return struct.unpack_from("<I", data, offset)[0]


# ---------------------------------------------------------------- PE file

class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Malformed("no MZ header")
        pe = u32(data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Malformed("no PE signature at 0x%x" % pe)
        coff = pe + 4
        self.machine_offset = coff
        self.machine = u16(data, coff)
        section_count = u16(data, coff + 2)
        optional_size = u16(data, coff + 16)
        optional = coff + 20
        self.magic = u16(data, optional)
        if self.magic == 0x10B:
            directories = optional + 96
            rva_count = u32(data, optional + 92)
        elif self.magic == 0x20B:
            directories = optional + 112
            rva_count = u32(data, optional + 108)
        else:
            raise Malformed("optional header magic 0x%x" % self.magic)
        self.subsystem_offset = optional + 68
        self.subsystem = u16(data, self.subsystem_offset)
        self.directories = []
        for i in range(min(rva_count, 16)):
            self.directories.append((u32(data, directories + 8 * i), u32(data, directories + 8 * i + 4)))
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            s = table + 40 * i
            if s + 40 > len(data):
                raise Malformed("section table beyond the file")
            name = data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, rva, max(virtual_size, raw_size), raw_size, raw_offset))

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def offset_of(self, rva, length=1):
        """File offset of `length` bytes at `rva`, all inside one section's raw data."""
        for _, start, virtual_size, raw_size, raw_offset in self.sections:
            if start <= rva and rva + length <= start + min(virtual_size, raw_size):
                offset = raw_offset + rva - start
                if offset + length > len(self.data):
                    break
                return offset
        raise Malformed("RVA 0x%x (+%d) is not backed by the file" % (rva, length))

    def read(self, rva, length):
        offset = self.offset_of(rva, max(length, 1))
        return self.data[offset:offset + length]

    def c_string(self, rva):
        offset = self.offset_of(rva)
        end = self.data.find(b"\0", offset)
        if end < 0:
            raise Malformed("unterminated name at RVA 0x%x" % rva)
        return self.data[offset:end].decode("ascii", "replace")

    def imported_dlls(self):
        dlls = []
        for index, size in ((1, 20), (13, 32)):  # imports, delay-load imports
            rva, length = self.directory(index)
            if rva == 0:
                continue
            name_field = 12 if index == 1 else 4
            while True:
                entry = self.read(rva, size)
                if entry == b"\0" * size:
                    break
                dlls.append(self.c_string(u32(entry, name_field)))
                rva += size
        return dlls

    def imported_functions(self):
        """The names of the functions imported by name (not by ordinal)."""
        names = []
        rva, _ = self.directory(1)
        if rva == 0:
            return names
        wide = self.magic == 0x20B
        thunk_size, ordinal_flag = (8, 1 << 63) if wide else (4, 1 << 31)
        while True:
            entry = self.read(rva, 20)
            if entry == b"\0" * 20:
                break
            thunk = u32(entry, 0) or u32(entry, 16)  # OriginalFirstThunk, else FirstThunk
            while True:
                value = int.from_bytes(self.read(thunk, thunk_size), "little")
                if value == 0:
                    break
                if not value & ordinal_flag:
                    names.append(self.c_string((value & 0x7FFFFFFF) + 2))  # past the hint
                thunk += thunk_size
            rva += 20
        return names

    def resources(self):
        """[Resource] from the three-level resource tree, in the tree's order."""
        root, size = self.directory(2)
        if root == 0:
            return []
        found = []

        def entry_id(field):
            if field & 0x80000000:
                at = root + (field & 0x7FFFFFFF)
                count = u16(self.read(at, 2), 0)
                return self.read(at + 2, 2 * count).decode("utf-16-le")
            return field

        def walk(rva, path, entries, seen):
            if rva in seen:
                raise Malformed("resource directory loop")
            seen = seen | {rva}
            header = self.read(rva, 16)
            count = u16(header, 12) + u16(header, 14)
            for i in range(count):
                entry = rva + 16 + 8 * i
                name_field, target = struct.unpack("<II", self.read(entry, 8))
                key = path + [entry_id(name_field)]
                if target & 0x80000000:
                    if len(key) >= 3:
                        raise Malformed("resource tree deeper than type/name/language")
                    walk(root + (target & 0x7FFFFFFF), key, entries + [entry], seen)
                else:
                    if len(key) != 3:
                        raise Malformed("resource data at depth %d, not under type/name/language" % len(key))
                    data_rva, data_size = struct.unpack("<II", self.read(root + target, 8))
                    found.append(Resource(key[0], key[1], key[2], self.read(data_rva, data_size),
                                          tuple(entries + [entry]), data_rva))

        walk(root, [], [], frozenset())
        return found


# ---------------------------------------------------------------- checks

class Checker:
    def __init__(self):
        self.faults = []

    def expect(self, condition, message):
        if not condition:
            self.faults.append(message)
        return condition

    def equal(self, what, actual, expected):
        return self.expect(actual == expected, "%s is %r, expected %r" % (what, actual, expected))


def check_headers(check, pe, arch):
    machine, magic = ARCHES[arch]
    check.expect(pe.machine == machine, "machine is 0x%04x, expected 0x%04x for %s" % (pe.machine, machine, arch))
    check.expect(pe.magic == magic, "optional header magic is 0x%x, expected 0x%x for %s" % (pe.magic, magic, arch))
    check.expect(pe.subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI,
                 "subsystem is %d, expected %d (Windows GUI)" % (pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI))


def is_system_dll(name):
    lower = name.lower()
    return lower in SYSTEM_DLLS or lower.startswith(SYSTEM_DLL_PREFIXES)


def check_imports(check, dlls, functions):
    check.expect(dlls, "imports no DLL at all")
    for dll in dlls:
        check.expect(is_system_dll(dll), "imports %s, which does not ship with Windows" % dll)
    for name in sorted(set(functions) & LOOKED_UP_AT_RUN_TIME):
        check.expect(False, "imports %s, which older Windows lacks: the program would not start there; "
                            "it must be looked up at run time" % name)


def resource_label(type_, name, language):
    type_text = RESOURCE_TYPE_NAMES.get(type_, str(type_))
    name_text = '"%s"' % name if isinstance(name, str) else str(name)
    return "%s/%s/0x%04x" % (type_text, name_text, language) if isinstance(language, int) \
        else "%s/%s/%r" % (type_text, name_text, language)


def check_icon_resources(check, icon_bytes, image, group):
    check.equal("icon file size", len(icon_bytes), ICON_FILE_SIZE)
    expected_image = icon_bytes[ICON_IMAGE_OFFSET:]
    check.expect(image == expected_image,
                 "RT_ICON 3 (%d bytes) differs from the icon file's image data (%d bytes)"
                 % (len(image), len(expected_image)))
    expected_group = struct.pack("<HHHBBBBHHIH", 0, 1, 1, 32, 32, 0, 0, 1, 32, ICON_IMAGE_SIZE, 3)
    if not check.expect(len(group) == 20, "RT_GROUP_ICON DEFAULT_ICON has %d bytes, expected 20" % len(group)):
        return
    fields = struct.unpack("<HHHBBBBHHIH", group)
    names = ["idReserved", "idType", "idCount", "bWidth", "bHeight", "bColorCount", "bReserved",
             "wPlanes", "wBitCount", "dwBytesInRes", "nId"]
    for name, actual, expected in zip(names, fields, struct.unpack("<HHHBBBBHHIH", expected_group)):
        check.equal("DEFAULT_ICON " + name, actual, expected)


class VersionBlock:
    def __init__(self, key, value_length, value_type, value, children):
        self.key = key
        self.value_length = value_length
        self.value_type = value_type
        self.value = value
        self.children = children


def align4(n):
    return (n + 3) & ~3


def parse_version_block(data, offset, end):
    """The version block at `offset`, which must not reach past `end`.

    A block's wLength may or may not count the padding after its last byte
    (resource compilers differ), but nothing beyond that."""
    length = u16(data, offset)
    value_length = u16(data, offset + 2)
    value_type = u16(data, offset + 4)
    if length < 6 or offset + length > end:
        raise Malformed("version block at %d: wLength %d runs past its parent (ends at %d)" % (offset, length, end))
    block_end = offset + length
    key_end = offset + 6
    while True:
        if key_end + 2 > block_end:
            raise Malformed("version block at %d: key not terminated within wLength" % offset)
        if data[key_end:key_end + 2] == b"\0\0":
            break
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    # Text values (wType 1) are counted in WCHARs, binary ones in bytes.
    value_bytes = value_length * 2 if value_type == 1 else value_length
    if value_start + value_bytes > block_end:
        raise Malformed("version block %r: value of %d bytes runs past wLength %d" % (key, value_bytes, length))
    value = data[value_start:value_start + value_bytes]
    children = []
    content_end = value_start + value_bytes
    child = align4(content_end)
    while child < block_end:
        children.append(parse_version_block(data, child, block_end))
        content_end = child + u16(data, child)
        child = align4(content_end)
    if not content_end <= block_end <= align4(content_end):
        raise Malformed("version block %r: wLength %d, but its content ends after %d bytes"
                        % (key, length, content_end - offset))
    return VersionBlock(key, value_length, value_type, value, children)


def check_version(check, data):
    try:
        root = parse_version_block(data, 0, len(data))
    except Malformed as e:
        check.expect(False, "RT_VERSION 1: " + str(e))
        return
    check.equal("VS_VERSIONINFO wLength", u16(data, 0), len(data))
    check.equal("VS_VERSIONINFO key", root.key, "VS_VERSION_INFO")
    check.equal("VS_VERSIONINFO wType", root.value_type, 0)
    check.equal("VS_VERSIONINFO wValueLength", root.value_length, 52)
    if len(root.value) == 52:
        for (name, expected), actual in zip(FIXED_FILE_INFO, struct.unpack("<13I", root.value)):
            check.expect(actual == expected, "VS_FIXEDFILEINFO %s is 0x%x, expected 0x%x" % (name, actual, expected))

    keys = [c.key for c in root.children]
    if not check.equal("VS_VERSIONINFO children", keys, ["StringFileInfo", "VarFileInfo"]):
        return
    string_file_info, var_file_info = root.children

    tables = string_file_info.children
    check.equal("StringFileInfo wType", string_file_info.value_type, 1)
    if check.equal("StringFileInfo tables", [t.key for t in tables], ["080404B0"]):
        table = tables[0]
        check.equal("StringTable 080404B0 wType", table.value_type, 1)
        check.equal("string keys in order", [s.key for s in table.children], [k for k, _ in VERSION_STRINGS])
        for string, (key, expected) in zip(table.children, VERSION_STRINGS):
            if string.key != key:
                continue
            check.equal("string %s wType" % key, string.value_type, 1)
            raw = string.value
            if not check.expect(raw.endswith(b"\0\0") and len(raw) >= 2,
                                "string %s is not NUL-terminated within wValueLength" % key):
                continue
            text = raw[:-2].decode("utf-16-le")
            check.expect("\0" not in text, "string %s holds a NUL before its end" % key)
            if expected is None:
                check.expect(text and text.isascii() and text.isprintable(),
                             "string %s is %r, expected a non-empty ASCII text" % (key, text))
            else:
                check.equal("string " + key, text, expected)

    check.equal("VarFileInfo wType", var_file_info.value_type, 1)
    if check.equal("VarFileInfo children", [v.key for v in var_file_info.children], ["Translation"]):
        translation = var_file_info.children[0]
        check.equal("Translation wType", translation.value_type, 0)
        check.equal("Translation wValueLength", translation.value_length, 4)
        if len(translation.value) == 4:
            check.equal("Translation", struct.unpack("<HH", translation.value), (LANG_ZH_CN, 0x04B0))


def check_manifest(check, data, expected_file, arch):
    check.expect(data == expected_file,
                 "RT_MANIFEST 1 (%d bytes) differs from the manifest file (%d bytes)" % (len(data), len(expected_file)))
    check.expect(not data.startswith(b"\xef\xbb\xbf"), "manifest starts with a byte-order mark")
    check.expect(data.startswith(XML_DECLARATION), "manifest does not start with " + XML_DECLARATION.decode())
    try:
        data.decode("utf-8")
        root = ET.fromstring(data)
    except (UnicodeDecodeError, ET.ParseError) as e:
        check.expect(False, "manifest is not well-formed UTF-8 XML: %s" % e)
        return

    def tag(name):
        return "{%s}%s" % (ASM_NS, name)

    def attributes_exactly(what, element, expected):
        actual = dict(element.attrib)
        name = actual.pop("name", None)
        if "name" not in expected:
            check.expect(name, "%s has no name" % what)
        else:
            actual["name"] = name
        check.equal(what + " attributes", actual, expected)

    check.equal("manifest root", root.tag, tag("assembly"))
    check.equal("assembly attributes", dict(root.attrib), {"manifestVersion": "1.0"})
    children = list(root)
    if not check.equal("assembly children", [c.tag for c in children],
                       [tag("assemblyIdentity"), tag("dependency")]):
        return
    identity, dependency = children
    attributes_exactly("own assemblyIdentity", identity,
                       {"type": "win32", "version": "5.2.0.0", "processorArchitecture": arch})
    check.expect(len(identity) == 0, "own assemblyIdentity has child elements")
    dependents = list(dependency)
    if not check.equal("dependency children", [d.tag for d in dependents], [tag("dependentAssembly")]):
        return
    identities = list(dependents[0])
    if not check.equal("dependentAssembly children", [i.tag for i in identities], [tag("assemblyIdentity")]):
        return
    attributes_exactly("common-controls assemblyIdentity", identities[0], {
        "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
        "processorArchitecture": arch, "publicKeyToken": "6595b64144ccf1df", "language": "*"})
    check.expect(len(identities[0]) == 0, "common-controls assemblyIdentity has child elements")


def inspect(arch, exe_bytes, icon_bytes, manifest_bytes):
    """Returns (faults, summary lines)."""
    check = Checker()
    pe = PeFile(exe_bytes)
    check_headers(check, pe, arch)
    dlls = pe.imported_dlls()
    check_imports(check, dlls, pe.imported_functions())

    resources = pe.resources()
    expected = {
        (RT_ICON, 3, LANG_NEUTRAL),
        (RT_GROUP_ICON, "DEFAULT_ICON", LANG_NEUTRAL),
        (RT_VERSION, 1, LANG_ZH_CN),
        (RT_MANIFEST, 1, LANG_NEUTRAL),
    }
    by_key = {}
    for r in resources:
        key, data = (r.type, r.name, r.language), r.data
        check.expect(key not in by_key, "resource %s appears twice" % resource_label(*key))
        check.expect(key in expected, "unexpected resource %s (%d bytes)" % (resource_label(*key), len(data)))
        by_key[key] = data
    for key in sorted(expected - by_key.keys(), key=str):
        check.expect(False, "missing resource %s" % resource_label(*key))

    if (RT_ICON, 3, LANG_NEUTRAL) in by_key and (RT_GROUP_ICON, "DEFAULT_ICON", LANG_NEUTRAL) in by_key:
        check_icon_resources(check, icon_bytes, by_key[(RT_ICON, 3, LANG_NEUTRAL)],
                             by_key[(RT_GROUP_ICON, "DEFAULT_ICON", LANG_NEUTRAL)])
    if (RT_VERSION, 1, LANG_ZH_CN) in by_key:
        check_version(check, by_key[(RT_VERSION, 1, LANG_ZH_CN)])
    if (RT_MANIFEST, 1, LANG_NEUTRAL) in by_key:
        check_manifest(check, by_key[(RT_MANIFEST, 1, LANG_NEUTRAL)], manifest_bytes, arch)

    summary = [
        "size: %d bytes, machine 0x%04x, subsystem %d" % (len(exe_bytes), pe.machine, pe.subsystem),
        "imports: " + ", ".join(dlls),
        "resources:",
    ] + ["  %s: %d bytes" % (resource_label(r.type, r.name, r.language), len(r.data)) for r in resources]
    return check.faults, summary


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    parser.add_argument("--arch", required=True, choices=sorted(ARCHES))
    parser.add_argument("--icon", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--max-bytes", type=int, default=None,
                        help="the largest the executable, resources included, may be")
    parser.add_argument("exe")
    args = parser.parse_args(argv)
    with open(args.exe, "rb") as f:
        exe = f.read()
    with open(args.icon, "rb") as f:
        icon = f.read()
    with open(args.manifest, "rb") as f:
        manifest = f.read()
    try:
        faults, summary = inspect(args.arch, exe, icon, manifest)
    except Malformed as e:
        print("%s: cannot be read as a PE file: %s" % (args.exe, e), file=sys.stderr)
        return 1
    if args.max_bytes is not None and len(exe) > args.max_bytes:
        faults.append("%d bytes, over the limit of %d bytes" % (len(exe), args.max_bytes))
    if faults:
        print("%s: %d fault(s):" % (args.exe, len(faults)), file=sys.stderr)
        for fault in faults:
            print("  " + fault, file=sys.stderr)
        return 1
    print("%s: OK (%s)" % (args.exe, args.arch))
    for line in summary:
        print("  " + line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
