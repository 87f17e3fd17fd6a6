f(x for x in y if z)
