type X = int
type Y[T] = list[T]
type = 3
type(x)
