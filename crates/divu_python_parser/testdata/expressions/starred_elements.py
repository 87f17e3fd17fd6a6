*a, *b | c
