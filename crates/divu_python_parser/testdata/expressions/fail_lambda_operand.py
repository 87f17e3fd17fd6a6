x + lambda: 1
