class A: pass
class B(): pass
class C(A, B, metaclass=M, **kw):
    x = 1
    def m(self): pass
class D[T: int = str, *Ts, **P](Base): pass
class E[T, U: (int, str), *Ts = *tuple[int], **P = [int]]: pass
