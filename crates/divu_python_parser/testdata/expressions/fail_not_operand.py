a == not b
