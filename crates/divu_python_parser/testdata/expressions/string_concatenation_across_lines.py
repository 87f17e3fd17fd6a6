('a'
 # joined
 'b')
