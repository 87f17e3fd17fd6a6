f'{x
