x[*a]
