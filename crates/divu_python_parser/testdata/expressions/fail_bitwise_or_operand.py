*a or b
