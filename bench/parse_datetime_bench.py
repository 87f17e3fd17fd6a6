"""Parses 10^5 ISO 8601 date-times with trelk_rs.parse_datetime and with
datetime.fromisoformat in the same run; prints both rates and their ratio.

parse_datetime also asks datetime.date.today() on every call (for texts that
give a time alone), which fromisoformat does not: that cost is part of the
function and is measured with it.
"""

import random
import time
from datetime import date, datetime

import trelk_rs

COUNT = 100_000
ROUNDS = 5


def texts(rng):
    first, last = date(1, 1, 1).toordinal(), date(9999, 12, 31).toordinal()
    out = []
    for _ in range(COUNT):
        d = date.fromordinal(rng.randint(first, last))
        clock = f"{rng.randrange(24):02d}:{rng.randrange(60):02d}:" \
                f"{rng.randrange(60):02d}"
        fraction = rng.choice(["", f".{rng.randrange(10**6):06d}"])
        zone = rng.choice(["", "Z", f"+{rng.randrange(24):02d}:30", "-05:00"])
        out.append(f"{d.isoformat()}T{clock}{fraction}{zone}")
    return out


def best_rate(function, inputs):
    best = float("inf")
    for _ in range(ROUNDS):
        start = time.perf_counter()
        for text in inputs:
            function(text)
        best = min(best, time.perf_counter() - start)
    return len(inputs) / best


def main():
    inputs = texts(random.Random(5))
    for text in inputs[:1000]:
        assert trelk_rs.parse_datetime(text) == datetime.fromisoformat(text)
    # Interleave so that both see the same machine state.
    ours = theirs = 0.0
    for _ in range(2):
        theirs = max(theirs, best_rate(datetime.fromisoformat, inputs))
        ours = max(ours, best_rate(trelk_rs.parse_datetime, inputs))
    print(f"datetime.fromisoformat:  {theirs:12,.0f} date-times/s")
    print(f"trelk_rs.parse_datetime: {ours:12,.0f} date-times/s")
    print(f"ratio parse_datetime / fromisoformat: {ours / theirs:.3f}")


if __name__ == "__main__":
    main()
