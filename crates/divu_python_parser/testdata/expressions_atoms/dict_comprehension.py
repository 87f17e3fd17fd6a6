{k: v for k, v in items if k}
