match x:
    pass
