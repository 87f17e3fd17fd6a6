[x for x a]
