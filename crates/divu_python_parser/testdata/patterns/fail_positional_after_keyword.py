match x:
    case Point(x=1, 2):
        pass
