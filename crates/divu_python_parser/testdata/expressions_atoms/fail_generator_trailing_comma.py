f(x for x in y,)
