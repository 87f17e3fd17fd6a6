def f():
    global a, b
    nonlocal c
