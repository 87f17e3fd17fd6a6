assert x
assert x, "message"
