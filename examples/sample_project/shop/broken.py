from trelk import online

from shop.features import User


# The colon after the parameter list is missing: this file cannot be parsed.
@online
def greeting(name: User.email) -> str
    return f"Hello, {name}"
