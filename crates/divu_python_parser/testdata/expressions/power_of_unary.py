a ** -b
