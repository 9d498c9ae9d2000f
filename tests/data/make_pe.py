#!/usr/bin/env python3
# Writes the PE test images of tests/data/pe (committed; run again after a change).
import os
from struct import pack


def pad4(b): return b + b"\0" * (-len(b) % 4)


def u16(text): return text.encode("utf-16-le")


def node(key, value=b"", vlen=0, typ=1, children=()):
    out = pad4(b"\0" * 6 + u16(key + "\0")) + value
    for c in children:
        out = pad4(out) + c
    return pack("<HHH", len(out), vlen, typ) + out[6:]


def string(name, text): return node(name, u16(text + "\0"), len(text) + 1)


def block(ms, ls, tables=(), langs=((0x419, 0x4E3),), fixed=True):
    value = pack("<13I", 0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 0x40004, 1, 0, 0, 0) if fixed else b""
    parts = [node("StringFileInfo", children=[node(k, children=s) for k, s in tables])] if tables else []
    if langs:
        lst = b"".join(pack("<HH", *l) for l in langs)
        parts.append(node("VarFileInfo", children=[node("Translation", lst, len(lst), 0)]))
    return node("VS_VERSION_INFO", value, len(value), 0, parts)


def directory(named, entries):
    return pack("<IIIHH", 0, 0, 0, named, len(entries) - named) + b"".join(pack("<II", *e) for e in entries)


def resources(ver):
    # Root, a named type and RT_ICON sharing one name and language directory
    # and data, then RT_VERSION (name 1, language 0419) when ver is not empty.
    sub, with_ver = 0x80000000, bool(ver)
    names = 16 + 8 * (3 if with_ver else 2)
    type_name = names + 64 + (64 if with_ver else 0)
    root = [(sub | type_name, sub | names), (3, sub | names)] + ([(16, sub | (names + 64))] if with_ver else [])
    out = directory(1, root) + directory(0, [(1, sub | (names + 24))]) + directory(0, [(0x409, names + 48)])
    out += pack("<4I", 0x2000 + type_name + 16, 8, 0, 0)
    if with_ver:
        out += directory(0, [(1, sub | (names + 88))]) + directory(0, [(0x419, names + 112)])
        out += pack("<4I", 0x2000 + type_name + 24, len(ver), 0, 0)
    return out + pack("<H", 6) + u16("MYDATA").ljust(14, b"\0") + b"ABCDEFGH" + ver


def image(ver=b"", plus=False):
    rsrc = resources(ver)
    raw = -(-len(rsrc) // 0x200) * 0x200
    coff = pack("<4sHHIIIHH", b"PE\0\0", 0x8664 if plus else 0x14C, 2, 0, 0, 0,
                       240 if plus else 224, 0x22 if plus else 0x102)
    opt = pack("<H2B5I", 0x20B if plus else 0x10B, 6, 0, 0x200, raw, 0, 0x1000, 0x1000)
    opt += pack("<Q", 0x40000000) if plus else pack("<II", 0x2000, 0x400000)
    opt += pack("<2I6H4I2H", 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x2000 + -(-(len(rsrc) + 1) // 0x1000) * 0x1000,
                       0x200, 0, 2, 0)
    opt += pack("<4Q" if plus else "<4I", 0x100000, 0x1000, 0x100000, 0x1000) + pack("<II", 0, 16)
    dirs = pack("<16xII", 0x2000, len(rsrc)).ljust(128, b"\0")
    text = pack("<8s5I8xI", b".text", 0x10, 0x1000, 0x200, 0x200, 0, 0x60000020)
    rsrc_section = pack("<8s5I8xI", b".rsrc", len(rsrc), 0x2000, raw, 0x400, 0, 0x40000040)
    head = pack("<2s58xI", b"MZ", 0x80).ljust(0x80, b"\0") + coff + opt + dirs + text + rsrc_section
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
FILES = {
    "two.exe": image(TWO), "two64.dll": image(TWO, plus=True), "variants.exe": image(VARIANTS),
    "empty.exe": image(russian(string("FileVersion", ""), ms=0x10000, ls=0)), "otherkey.exe": image(russian(key="040904B0")),
    "lowerkey.exe": image(russian(key="041904e3")), "notrans.exe": image(russian(langs=())),
    "english.exe": image(block(0x50002, 0x10007, [("040904B0", [string("FileVersion", "9.9")])],
                               ((0x409, 0x4B0), (0x419, 0x4E3)))),
    "nofixed.exe": image(block(0, 0, fixed=False)), "noversion.exe": image(),
}
if __name__ == "__main__":
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pe")
    os.makedirs(out, exist_ok=True)
    for name, data in FILES.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
