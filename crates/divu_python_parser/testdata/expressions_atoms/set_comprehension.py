{x for x, y in z}
