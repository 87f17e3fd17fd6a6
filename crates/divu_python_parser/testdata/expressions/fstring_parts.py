f'a{x!r:>{w}}b'
