x: int
(y): int = 1
a.b: list[int] = []
c[0]: str = "s"
