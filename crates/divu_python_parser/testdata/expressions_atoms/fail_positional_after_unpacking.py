f(**d, a)
