x = 1
a = b = c
*a, b = x
[a, (b, c)] = d
x.y[0] = 1
x = yield y
