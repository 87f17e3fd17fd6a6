def f(): pass
def g(a, b=1, *args, c, d=2, **kw) -> int:
    return a
async def h() -> (a, b): pass
def match(type, case): pass
def i[T](x: T) -> T: return x
lambda_ = lambda: 0
