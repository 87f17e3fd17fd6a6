x.class
