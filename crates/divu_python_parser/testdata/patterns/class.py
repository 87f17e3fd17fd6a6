match point:
    case Point():
        pass
    case Point(0, 0):
        pass
    case Point(x=0, y=y):
        pass
    case module.Point(1, y=[2, 3], z={"a": _}):
        pass
    case match(case=1):
        pass
    case Outer(Inner(a), b=Inner()):
        pass
