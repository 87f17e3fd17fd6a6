match color:
    case Color.RED:
        pass
    case a.b.c.d:
        pass
    case match.case:
        pass
