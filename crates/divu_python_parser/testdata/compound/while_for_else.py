while x:
    break
else:
    pass
while (y := f()): continue
for a, *b in c:
    pass
else:
    pass
for [d, e.f, g[0]] in *h, i:
    pass
for j in k if l else m: pass
