a ** b ** c
