@dec
x = 1
