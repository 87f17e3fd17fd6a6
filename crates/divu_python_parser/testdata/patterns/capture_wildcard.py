match x:
    case _:
        pass
    case name:
        pass
    case match:
        pass
    case (case):
        pass
    case ((type)):
        pass
