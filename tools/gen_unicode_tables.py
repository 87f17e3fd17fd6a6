#!/usr/bin/env python3.13
"""Writes the Unicode tables that close the gap between ICU 72 and CPython 3.13.

The front end answers identifier and character-name questions the way CPython
3.13 does (Unicode 15.1), but ICU 72 knows Unicode 15.0 only. This script asks
both, through CPython's own `unicodedata` and through ICU loaded with ctypes,
and writes what differs into crates/divu_python_parser/src/unicode_tables.inc:

  - code points whose XID_Start or XID_Continue differs between the two;
  - the ranges that CPython names algorithmically "CJK UNIFIED IDEOGRAPH-XXXX"
    (Unicode 15.1 adds one that ICU 72 lacks);
  - the names CPython knows and ICU does not, and every name alias;
  - the code points that ICU names and CPython leaves unnamed.

Name aliases cannot be listed from `unicodedata`, so they are read from
crates/divu_python_parser/testdata/name_aliases.txt (NameAliases.txt format:
"code point;alias;type", Unicode 15.1); every alias there is checked against
CPython before it is written. NFKC is compared for every identifier character
and any difference stops the script: the C++ side relies on ICU's NFKC alone.

Run it with CPython 3.13 from the repository root:
  /root/.pyenv/versions/3.13.0/bin/python3.13 tools/gen_unicode_tables.py
The build never runs it; its output is committed.
"""

import ctypes
import pathlib
import sys
import unicodedata

ICU_VERSION = 72
UCHAR_XID_CONTINUE = 32
UCHAR_XID_START = 33
U_UNICODE_CHAR_NAME = 0
MAX_CODE_POINT = 0x10FFFF
ROOT = pathlib.Path(__file__).resolve().parent.parent
PARSER = ROOT / "crates" / "divu_python_parser"
ALIASES = PARSER / "testdata" / "name_aliases.txt"
OUTPUT = PARSER / "src" / "unicode_tables.inc"
CJK_PREFIX = "CJK UNIFIED IDEOGRAPH-"


class Icu:
    def __init__(self):
        lib = ctypes.CDLL(f"libicuuc.so.{ICU_VERSION}")
        v = f"_{ICU_VERSION}"
        self._has = getattr(lib, "u_hasBinaryProperty" + v)
        self._has.restype = ctypes.c_int8
        self._has.argtypes = [ctypes.c_int32, ctypes.c_int]
        self._name = getattr(lib, "u_charName" + v)
        self._name.restype = ctypes.c_int32
        self._name.argtypes = [ctypes.c_int32, ctypes.c_int, ctypes.c_char_p,
                               ctypes.c_int32, ctypes.POINTER(ctypes.c_int)]
        nfkc = getattr(lib, "unorm2_getNFKCInstance" + v)
        nfkc.restype = ctypes.c_void_p
        nfkc.argtypes = [ctypes.POINTER(ctypes.c_int)]
        err = ctypes.c_int(0)
        self._nfkc = nfkc(ctypes.byref(err))
        assert err.value <= 0, err.value
        self._normalize = getattr(lib, "unorm2_normalize" + v)
        self._normalize.restype = ctypes.c_int32
        self._normalize.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                    ctypes.c_int32, ctypes.c_void_p,
                                    ctypes.c_int32,
                                    ctypes.POINTER(ctypes.c_int)]
        self._buf = ctypes.create_string_buffer(256)
        self._out = (ctypes.c_uint16 * 64)()

    def xid_start(self, cp):
        return bool(self._has(cp, UCHAR_XID_START))

    def xid_continue(self, cp):
        return bool(self._has(cp, UCHAR_XID_CONTINUE))

    def name(self, cp):
        err = ctypes.c_int(0)
        n = self._name(cp, U_UNICODE_CHAR_NAME, self._buf, 256,
                       ctypes.byref(err))
        assert err.value <= 0, (hex(cp), err.value)
        return self._buf.raw[:n].decode("ascii") if n else None

    def nfkc(self, text):
        units = text.encode("utf-16-le")
        src = ctypes.create_string_buffer(units, len(units))
        err = ctypes.c_int(0)
        n = self._normalize(self._nfkc, src, len(units) // 2, self._out, 64,
                            ctypes.byref(err))
        assert err.value <= 0, (text, err.value)
        return bytes(self._out)[: 2 * n].decode("utf-16-le", "surrogatepass")


def cpython_xid_start(ch):
    # isidentifier() admits "_" as a first character besides XID_Start.
    return ch != "_" and ch.isidentifier()


def cpython_xid_continue(ch):
    return ("a" + ch).isidentifier()


def ranges(points):
    """Collapses sorted code points into inclusive (first, last) ranges."""
    out = []
    for cp in points:
        if out and out[-1][1] + 1 == cp:
            out[-1][1] = cp
        else:
            out.append([cp, cp])
    return out


def decode_escape(name):
    try:
        return ("\\N{%s}" % name).encode("ascii").decode("unicode_escape")
    except UnicodeDecodeError:
        return None


def main():
    icu = Icu()
    start_diff, continue_diff, cjk, extra_names, nfkc_diff = [], [], [], [], []
    icu_only = []
    for cp in range(MAX_CODE_POINT + 1):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        ch = chr(cp)
        xs, xc = cpython_xid_start(ch), cpython_xid_continue(ch)
        if xs != icu.xid_start(cp):
            start_diff.append((cp, xs))
        if xc != icu.xid_continue(cp):
            continue_diff.append((cp, xc))
        if xc and unicodedata.normalize("NFKC", ch) != icu.nfkc(ch):
            nfkc_diff.append(cp)
        name = unicodedata.name(ch, None)
        if name is None:
            if icu.name(cp) is not None:
                icu_only.append(cp)
            continue
        if name == f"{CJK_PREFIX}{cp:04X}":
            cjk.append(cp)
        elif icu.name(cp) != name:
            assert icu.name(cp) is None, (hex(cp), name, icu.name(cp))
            extra_names.append((name, cp))
    if nfkc_diff:
        sys.exit("NFKC differs between ICU and CPython for: "
                 + " ".join(f"U+{cp:04X}" for cp in nfkc_diff))

    aliases = []
    for line in ALIASES.read_text(encoding="ascii").splitlines():
        if not line or line.startswith("#"):
            continue
        cp_text, alias, _kind = line.split(";")
        cp = int(cp_text, 16)
        if decode_escape(alias) != chr(cp):
            sys.exit(f"CPython does not resolve alias {alias!r} to U+{cp:04X}")
        aliases.append((alias, cp))

    def flag_rows(diff):
        return "".join(f"    {{0x{a:04X}, 0x{b:04X}, {str(v).lower()}}},\n"
                       for (a, b), v in group(diff))

    def group(diff):
        out = []
        for cp, v in diff:
            if out and out[-1][0][1] + 1 == cp and out[-1][1] == v:
                out[-1][0][1] = cp
            else:
                out.append(([cp, cp], v))
        return out

    names = sorted(extra_names + aliases)
    text = [
        "// Generated by tools/gen_unicode_tables.py from CPython "
        f"{sys.version.split()[0]} (Unicode {unicodedata.unidata_version})\n",
        f"// and ICU {ICU_VERSION}. Do not edit: run the script instead.\n",
        "// clang-format off\n\n",
        "// Inclusive code point ranges where CPython's XID_Start differs from"
        " ICU's,\n// with CPython's value.\n",
        "inline constexpr PropertyOverride kXidStartOverrides[] = {\n",
        flag_rows(start_diff), "};\n\n",
        "// The same for XID_Continue.\n",
        "inline constexpr PropertyOverride kXidContinueOverrides[] = {\n",
        flag_rows(continue_diff), "};\n\n",
        "// Inclusive ranges of the code points named \"CJK UNIFIED IDEOGRAPH-\""
        " and\n// their hexadecimal value.\n",
        "inline constexpr CodePointRange kCjkUnifiedRanges[] = {\n",
        "".join(f"    {{0x{a:04X}, 0x{b:04X}}},\n" for a, b in ranges(cjk)),
        "};\n\n",
        "// Inclusive ranges of the code points that ICU names and CPython"
        " does not.\n",
        "inline constexpr CodePointRange kUnnamedInCPython[] = {\n",
        "".join(f"    {{0x{a:04X}, 0x{b:04X}}},\n" for a, b in ranges(icu_only)),
        "};\n\n",
        "// Names that ICU's character names lack: the Unicode "
        f"{unicodedata.unidata_version} additions and\n// every name alias, "
        "sorted by name.\n",
        "inline constexpr ExtraName kExtraNames[] = {\n",
        "".join(f"    {{\"{n}\", 0x{cp:04X}}},\n" for n, cp in names),
        "};\n\n// clang-format on\n",
    ]
    OUTPUT.write_text("".join(text), encoding="ascii")
    print(f"{OUTPUT.relative_to(ROOT)}: {len(start_diff)} XID_Start and "
          f"{len(continue_diff)} XID_Continue overrides, {len(ranges(cjk))} "
          f"CJK ranges, {len(ranges(icu_only))} ICU-only ranges, "
          f"{len(extra_names)} names, {len(aliases)} aliases")


if __name__ == "__main__":
    main()
