lambda a, /, b=1, *c, d, e=2, **f: a
