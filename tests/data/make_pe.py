#!/usr/bin/env python3
# Writes the PE test images of tests/data/pe (committed; run again after a change).
from pathlib import Path
from struct import pack


def pad4(b): return b + b"\0" * (-len(b) % 4)


def u16(text): return text.encode("utf-16-le")


def node(key, value=b"", vlen=0, typ=1, children=()):
    out = pad4(b"\0" * 6 + u16(key + "\0")) + value
    for c in children:
        out = pad4(out) + c
    return pack("<3H", len(out), vlen, typ) + out[6:]


def string(name, text): return node(name, u16(text + "\0"), len(text) + 1)


def block(ms, ls, tables=(), langs=((0x419, 0x4E3),), fixed=True):
    value = pack("<10I12x", 0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 0x40004, 1) if fixed else b""
    parts = [node("StringFileInfo", children=[node(k, children=s) for k, s in tables])] if tables else []
    if langs:
        lst = b"".join(pack("<HH", *l) for l in langs)
        parts.append(node("VarFileInfo", children=[node("Translation", lst, len(lst), 0)]))
    return node("VS_VERSION_INFO", value, len(value), 0, parts)


# An entry leading to a directory.
SUB = 0x80000000


def directory(named, entries):
    return pack("<12x2H", named, len(entries) - named) + b"".join(pack("<2I", *e) for e in entries)


# The directories of name 1 and of one language at offset at, then the data entry.
def leaf(at, language, rva, size): return directory(0, [(1, SUB | at + 24)]) + directory(0, [(language, at + 48)]) + pack("<2I8x", rva, size)


def resources(ver):
    # Root, a named type and RT_ICON sharing one name and language directory
    # and data, then RT_VERSION (name 1, language 0419) when ver is not empty.
    v = bool(ver)
    at = 32 + 8 * v
    name = 0x2000 + at + 64 + 64 * v
    out = directory(1, [(SUB | name - 0x2000, SUB | at), (3, SUB | at)] + [(16, SUB | at + 64)] * v) + leaf(at, 0x409, name + 16, 8)
    out += leaf(at + 64, 0x419, name + 24, len(ver)) * v
    return out + pack("<H14s", 6, u16("MYDATA")) + b"ABCDEFGH" + ver


def image(ver=b"", plus=False):
    rsrc = resources(ver)
    raw = -(-len(rsrc) // 0x200) * 0x200
    coff = pack("<4sHH12xHH", b"PE\0\0", 0x8664 if plus else 0x14C, 2, 240 if plus else 224, 0x22 if plus else 0x102)
    opt = pack("<H2B5I", 0x20B if plus else 0x10B, 6, 0, 0x200, raw, 0, 0x1000, 0x1000)
    opt += pack("<Q", 0x40000000) if plus else pack("<2I", 0x2000, 0x400000)
    opt += pack("<2I6H4I2H", 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000 + -(-(len(rsrc) + 1) // 0x1000) * 0x1000,
                0x200, 0, 2, 0)
    opt += pack("<4Q" if plus else "<4I", 0x100000, 0x1000, 0x100000, 0x1000) + pack("<4xI16x2I104x", 16, 0x2000, len(rsrc))
    text = pack("<8s4I12xI", b".text", 0x10, 0x1000, 0x200, 0x200, 0x60000020)
    rsrc_section = pack("<8s4I12xI", b".rsrc", len(rsrc), 0x2000, raw, 0x400, 0x40000040)
    head = pack("<2s58xI64x", b"MZ", 0x80) + coff + opt + text + rsrc_section
    return head.ljust(0x200, b"\0") + b"\xC3".ljust(0x200, b"\0") + rsrc.ljust(raw, b"\0")


def russian(version=string("FileVersion", "2, 1, 0, 15"), key="041904E3", ms=0x50002, ls=0x10007, more=(), tables=(), **kw):
    strings = [string("CompanyName", "Quenbrit"), version, string("ProductName", "ЮКСВЕЛ"), *more]
    return block(ms, ls, [(key, strings), *tables], **kw)


TWO = russian(more=[string("FileDescription", "Обновление ЮКСВЕЛ")],
              tables=[("040904B0", [string("FileVersion", "9.9"), string("Empty", "")])], langs=((0x419, 0x4E3), (0x409, 0x4B0)))
# A: an empty value without any value bytes; B: marked binary, length in bytes; C: length past its node;
# D: no NUL within its length; E: not in code page 1251; AB: its key's NUL ends the node; 230 and 231
# letters: query paths of 255 and 256 bytes.
VARIANTS = block(1, 2, [("041904E3", [
    node("A"),
    node("B", u16("xy\0"), 6, 0),
    node("C", u16("12"), 500),
    node("D", u16("z\0"), 2),
    node("E", u16("\u4e00A\0"), 3),
    string("Версия", "ёж"), string("Ёлкаџ", "ель"),
    node("AB"),
    string("L" * 230, "255"), string("L" * 231, "256")])])
OUT = Path(__file__).resolve().parent / "pe"
OUT.mkdir(exist_ok=True)
for name, data in {
    "two.exe": image(TWO), "two64.dll": image(TWO, plus=True), "variants.exe": image(VARIANTS),
    "empty.exe": image(russian(string("FileVersion", ""), ms=0x10000, ls=0)), "otherkey.exe": image(russian(key="040904B0")),
    "lowerkey.exe": image(russian(key="041904e3")), "notrans.exe": image(russian(langs=())),
    "english.exe": image(block(0x50002, 0x10007, [("040904B0", [string("FileVersion", "9.9")])], ((0x409, 0x4B0), (0x419, 0x4E3)))),
    "nofixed.exe": image(block(0, 0, fixed=False)), "noversion.exe": image(),
}.items():
    (OUT / name).write_bytes(data)
