b'a' b'b'
