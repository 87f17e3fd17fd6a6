f(a, *b, c=1, **d)
