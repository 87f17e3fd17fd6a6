try:
    pass
else:
    pass
x
