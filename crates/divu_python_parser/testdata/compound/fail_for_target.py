for f() in y:
    pass
