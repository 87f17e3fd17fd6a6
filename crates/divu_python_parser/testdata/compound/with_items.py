with a: pass
with a as b, c as d: pass
with a as (b, c), [d, e] as f.g: pass
with (a, b): pass
with (a, b,): pass
with (a): pass
with (a,): pass
with (a as b, c): pass
with (a, b as c,): pass
with (a, b) as c: pass
with (a, b), c: pass
with (a, b).c as d: pass
with (a, b)[0]: pass
with (a) as b: pass
