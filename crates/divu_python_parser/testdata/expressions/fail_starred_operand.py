a + *b
