raise
raise X
raise X from Y
raise; x = 1
