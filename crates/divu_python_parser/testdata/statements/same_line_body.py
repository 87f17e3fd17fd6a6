if x: a; b; c
while y: pass
