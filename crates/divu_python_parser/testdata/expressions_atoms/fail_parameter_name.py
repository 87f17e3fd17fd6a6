f(a.b=1)
