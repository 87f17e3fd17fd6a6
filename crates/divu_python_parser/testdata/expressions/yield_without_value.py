(yield)
