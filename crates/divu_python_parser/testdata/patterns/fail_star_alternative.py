match x:
    case 1 | *rest:
        pass
