t'{x}' t'{y}'
