a if b
