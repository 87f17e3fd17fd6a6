from trelk.features import features, feature


@features(name="product", owner="catalog@example.com")
class Product:
    id: int
    # Shown on the product page.
    # :owner: catalog@example.com
    title: str
    # Cents, before tax.
    # :tags: money
    price_cents: int = feature(max_staleness="1h")
    in_stock: bool


@features
class WarehouseStock:
    product_id: Product.id
    warehouse: str
    # :tags: ops, realtime
    units: int
