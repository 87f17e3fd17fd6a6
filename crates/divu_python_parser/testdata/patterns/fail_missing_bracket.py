match x:
    case [:
        pass
