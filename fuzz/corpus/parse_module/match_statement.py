match x:
    case [a, *rest] | {"k": 1, **r} | Point(1, y=-2+3j) as z if q:
        pass
