for x in y:
    pass
    break
    continue
