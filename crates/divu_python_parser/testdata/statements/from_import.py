from . import x
from .... import y as z
from a.b import (c as d, e,)
from m import *
