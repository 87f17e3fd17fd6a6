x[a, b]
