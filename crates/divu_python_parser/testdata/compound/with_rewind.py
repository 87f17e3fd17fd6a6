def f():
    with (yield x): pass
    with (yield x) as y: pass
    with (yield from x): pass
    with (a as b, (yield x)): pass
with (a := b): pass
with (a := b, c): pass
with (a := b) as c: pass
with (*a, b): pass
with (): pass
with (x for x in y): pass
with (x for x in y) as z: pass
with ((a, b)): pass
with ((a), (b)): pass
with (a, b)\
    : pass
