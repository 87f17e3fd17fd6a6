try:
    pass
except A:
    pass
except* B:
    pass
