from datetime import datetime

from trelk.features import DataFrame, features, feature


@features(name="shop_user")
class User:
    id: int
    # The user's e-mail address.
    # :owner: growth@example.com
    # :tags: pii, contact
    email: str
    signed_up_at: datetime = feature(max_staleness="1d")
    orders: "DataFrame[Order]"


@features
class Order:
    id: int
    user_id: User.id
    total_cents: int
