match x:
    case {x: 1, "a": 2}:
        pass
