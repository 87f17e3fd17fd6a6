'a' f'{x}' 'c'
