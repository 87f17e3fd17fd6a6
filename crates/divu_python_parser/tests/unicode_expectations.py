"""Writes what CPython 3.13's unicodedata says about every code point.

Read by unicode_exhaustive_test. Usage: unicode_expectations.py ALIASES OUT,
where ALIASES is testdata/name_aliases.txt. Lines of OUT:
  C;<code point>;<flags>;<NFKC>;<name>  a code point that is XID_Continue or
      has a name; flags hold "s" for XID_Start, "c" for XID_Continue and "l"
      when \\N{} accepts the name in lower case; NFKC is the normalisation of
      the character as hexadecimal code points (identifier characters only);
  A;<code point>;<l or empty>;<alias>  a name alias that CPython resolves.
"""

import sys
import unicodedata


def escape_gives(name):
    try:
        return ("\\N{%s}" % name).encode("ascii").decode("unicode_escape")
    except UnicodeDecodeError:
        return None


def main():
    aliases_path, out_path = sys.argv[1:]
    lines = []
    for cp in range(0x110000):
        ch = chr(cp)
        start = ch != "_" and ch.isidentifier()
        cont = ("a" + ch).isidentifier()
        name = unicodedata.name(ch, None)
        if not cont and name is None:
            continue
        flags = ("s" if start else "") + ("c" if cont else "")
        if name is not None and escape_gives(name.lower()) == ch:
            flags += "l"
        nfkc = ""
        if cont:
            nfkc = " ".join(
                f"{ord(c):X}" for c in unicodedata.normalize("NFKC", ch))
        lines.append(f"C;{cp:X};{flags};{nfkc};{name or ''}")
    with open(aliases_path, encoding="ascii") as aliases:
        for line in aliases:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            cp_text, alias, _kind = line.split(";")
            ch = escape_gives(alias)
            if ch is None:
                continue
            lower = "l" if escape_gives(alias.lower()) == ch else ""
            lines.append(f"A;{ord(ch):X};{lower};{alias}")
    with open(out_path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
