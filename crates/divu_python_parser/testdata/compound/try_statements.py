try:
    pass
except:
    pass
try:
    pass
except A:
    pass
except (B, C) as e:
    pass
else:
    pass
finally:
    pass
try:
    pass
finally:
    pass
try:
    pass
except* D:
    pass
except* (E, F) as g:
    pass
try: pass
except H as match: pass
