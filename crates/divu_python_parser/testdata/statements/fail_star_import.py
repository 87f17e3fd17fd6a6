from a import *, b
