f'{a, b}{*c}'
