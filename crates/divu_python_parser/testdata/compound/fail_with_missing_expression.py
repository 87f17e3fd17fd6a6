with :
    pass
x
