a.b.c.d
