a - b - c
