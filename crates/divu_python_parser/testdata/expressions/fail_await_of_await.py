await await x
