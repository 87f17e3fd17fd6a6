a < b == c > d
