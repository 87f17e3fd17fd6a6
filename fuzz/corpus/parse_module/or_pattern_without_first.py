match x:
 case ( | y): pass
 case {1: | y} as z: pass
