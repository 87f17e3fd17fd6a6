match x:
    case x if :
        pass
