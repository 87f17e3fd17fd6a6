f(c=1, a)
