match x:
    case *rest:
        pass
