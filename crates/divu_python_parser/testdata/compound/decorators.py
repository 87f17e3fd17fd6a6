@a
def f(): pass
@a.b.c(1)
@d
class C: pass
@a[0]
@(b if c else d)
@e().f
@x := y
@lambda f: f
async def g(): pass
