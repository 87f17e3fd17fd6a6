try:
    pass
except A, B as e:
    pass
