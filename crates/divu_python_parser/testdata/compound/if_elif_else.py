if a:
    x
elif b := c:
    y
elif d:
    pass
else:
    z
if e: f; g
else: h
