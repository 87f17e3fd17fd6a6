async def f():
    async with a: pass
    async for x in y: pass
