match x:
 case [-, +]: pass
 case {-: 1}: pass
