a; b
c;
x = 1; match.group(1)
a; match = 1
a; match(x)
