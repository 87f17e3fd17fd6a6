if x: if y: pass
