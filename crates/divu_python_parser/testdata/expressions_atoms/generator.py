(x async for x in y)
