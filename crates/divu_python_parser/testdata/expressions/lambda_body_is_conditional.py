lambda: x if y else z
