match x:
    case , y:
        pass
