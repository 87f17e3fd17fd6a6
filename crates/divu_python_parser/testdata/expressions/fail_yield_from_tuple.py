yield from a, b
