(yield x)
