import a
import a.b.c as d, e
import a . b
