async def f():
    async for x in y:
        pass
    else:
        pass
    async with a as b, c:
        pass
    async with (d as e, f):
        pass
