x.
