s = "\N{LATIN SMALL LETTER A}\u00e9\U0001F600\x41\101\q"
b = b"\xff\777"
f"\{{x\N{NOPE}"
