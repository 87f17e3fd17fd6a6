[x for x in a if b else c]
