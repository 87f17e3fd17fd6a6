x = f"{a!r:>{w}} {b=}" + t"{c}"
rb"\x00" "\N{BULLET}"
