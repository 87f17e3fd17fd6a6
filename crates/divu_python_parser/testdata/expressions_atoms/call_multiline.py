f(
    a,  # first
    b=2,
)
