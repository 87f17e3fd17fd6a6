match x:
    case 1:
        pass
    case -1.5:
        pass
    case 2j:
        pass
    case -1 + 2j:
        pass
    case 1.5 - 0.5j:
        pass
    case "a" 'b':
        pass
    case b"bytes":
        pass
    case f"{y}":
        pass
    case None:
        pass
    case True | False:
        pass
