a.b(c)[d].e()
