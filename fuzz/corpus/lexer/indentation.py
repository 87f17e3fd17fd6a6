if x:
	y = [1,
  2]
    \
