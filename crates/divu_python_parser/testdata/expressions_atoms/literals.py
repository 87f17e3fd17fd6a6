[a, 1, 0x_1f, 1.5e-3, 2j, True, False, None, ..., "s"]
