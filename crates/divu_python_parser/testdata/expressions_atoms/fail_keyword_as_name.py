if
