class C[]: pass
def f[T: ](): pass
