while x:
y = 1
