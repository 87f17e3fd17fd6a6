match a, *b,:
    case 1 if a > 0:
        pass
    case x if (y := x):
        pass
match (x):
    case 1: pass
    case 2:
        pass; pass
match -x:
    case _: pass
match not x:
    case _: pass
match = 1
match(x)
match[x]: int
match.x = 2
match not in y
for x in y:
    match x:
        case 1:
            match y:
                case 2:
                    pass
    z = 3
