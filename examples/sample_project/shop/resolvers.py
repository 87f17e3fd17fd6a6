from trelk import online, offline
from trelk.features import DataFrame

from shop.features import Order, User


@online(tags=["fast"], owner="growth@example.com")
def email_domain(email: User.email) -> User.email_domain:
    return email.split("@")[-1]


@offline(cron="1h")
def order_totals(orders: DataFrame[Order.total_cents]) -> User.lifetime_value:
    return sum(order.total_cents for order in orders)


def helper(value):
    if value:
        return value
    return None
