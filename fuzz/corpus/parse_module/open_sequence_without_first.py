match x:
 case , y: pass
 case  , *z: pass
