{x for //x, y inkz}
