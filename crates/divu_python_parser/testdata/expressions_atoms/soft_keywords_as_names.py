match.type(case)[type]
