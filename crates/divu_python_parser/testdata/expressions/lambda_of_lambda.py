lambda: lambda x: x
