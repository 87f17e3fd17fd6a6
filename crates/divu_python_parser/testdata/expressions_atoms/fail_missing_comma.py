[a b]
