async x = 1
