match x:
    case {"a": 1, **rest, "b": 2}:
        pass
