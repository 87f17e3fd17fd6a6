await a ** b
