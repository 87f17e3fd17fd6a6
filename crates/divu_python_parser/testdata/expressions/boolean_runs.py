a or b and c or d and e and f
