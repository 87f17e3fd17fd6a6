def f():
    with (open(f) as g, yield x):
        pass
