b'a' 'b'
