not a == b
