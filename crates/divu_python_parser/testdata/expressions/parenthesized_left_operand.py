(a) + b < c or d
