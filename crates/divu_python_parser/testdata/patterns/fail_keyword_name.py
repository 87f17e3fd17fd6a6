match x:
    case Point(1=2):
        pass
