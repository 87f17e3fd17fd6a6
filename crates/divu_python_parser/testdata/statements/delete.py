del a
del (a, b), c[0], d.e
del a,
