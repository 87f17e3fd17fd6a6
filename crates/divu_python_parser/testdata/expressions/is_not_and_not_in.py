a is not b not in c
