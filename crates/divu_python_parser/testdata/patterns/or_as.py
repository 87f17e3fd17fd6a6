match x:
    case 1 | 2 | 3:
        pass
    case [a] | (b, c) as d:
        pass
    case (1 | 2) as e:
        pass
    case (Point(x=a) as p) | None:
        pass
