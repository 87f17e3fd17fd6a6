def f():
    return
    return x
    return *a, b
