match x:
    case ():
        pass
    case []:
        pass
    case (a,):
        pass
    case [a]:
        pass
    case a, *rest:
        pass
    case *rest, last,:
        pass
    case [first, *_]:
        pass
    case (1, [2, (3, 4)], *tail):
        pass
