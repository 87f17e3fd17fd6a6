a + b if c or d else -e
