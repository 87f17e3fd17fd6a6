match x:
    case {}:
        pass
    case {"key": value}:
        pass
    case {1: a, -2: b, 3 + 4j: c, None: d, True: e, Enum.A: f}:
        pass
    case {"a": [1, 2], **rest}:
        pass
    case {**rest}:
        pass
