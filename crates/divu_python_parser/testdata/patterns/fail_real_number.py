match x:
    case 1j + 2j:
        pass
