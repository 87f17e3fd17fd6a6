a if b else c if d else e
