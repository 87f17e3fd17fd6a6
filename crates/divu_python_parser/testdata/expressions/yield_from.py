yield from a
