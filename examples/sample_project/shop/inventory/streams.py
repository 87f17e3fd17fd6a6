from trelk import stream

from shop.inventory.features import Product, WarehouseStock


@stream(source="stock-updates", keys={"product": "product_id", "site": "warehouse"})
def stock_changes(message: bytes) -> WarehouseStock:
    return WarehouseStock.parse(message)


@stream(source="price-updates")
def price_changes(message: bytes, product: Product.id) -> Product.price_cents:
    if not message:
        return None
    return int(message)
