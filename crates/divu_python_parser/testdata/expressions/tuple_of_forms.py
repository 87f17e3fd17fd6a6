a, b if c else d, lambda: e
