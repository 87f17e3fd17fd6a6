[x for x in y if a if b for z in x]
