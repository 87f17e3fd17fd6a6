with a, b,:
    pass
