"""The ISO 8601 functions of trelk_rs against CPython's datetime.

Every calendar, ordinal and week date of the years 1 to 9999, a grid of
times, seeded random date-times, and a round trip of random durations.

Deliberate differences from CPython (the tests below hold us to them):
 1. Ordinal dates (YYYY-DDD, YYYYDDD) are dates here; date.fromisoformat
    rejects them. They are checked against 1 January plus DDD - 1 days.
 2. Week 53 is accepted in every year: in a year of 52 weeks it is the first
    week of the next year (2021-W53-1 is 2022-01-03). date.fromisocalendar
    and date.fromisoformat reject it.
 3. YYYY, YYYY-MM, YYYYMM and CC are dates here (the first day of the year,
    month or century); date.fromisoformat rejects them.
 4. A fraction after hh, hh:mm or hhmm is a fraction of the hour or minute
    here ("12.5" is 12:30); CPython reads it as a fraction of the second
    ("12.5" is 12:00:00.5). The grid leaves these texts to their own test.
 5. "z" is UTC here as well as "Z"; CPython accepts only "Z".
 6. Offsets with seconds (+05:30:15) are rejected here; CPython accepts them.
 7. parse_iso_time names a fixed zone by its text as written ("+05:30", and
    "-00:00" keeps offset zero under its own name); CPython's zones are unnamed
    ("UTC+05:30") or UTC. Offsets are compared, not names. parse_datetime makes
    unnamed zones and UTC for offset zero, as CPython does, so there the whole
    tzinfo is compared.
 8. A "." or "," must be followed by digits here; CPython accepts one with no
    digits before a zone ("12:34:56.+05:30", "12.Z").
"""

import calendar
import concurrent.futures
import random
import unittest
from datetime import date, datetime, time, timedelta, timezone

import trelk_rs

FIRST_ORDINAL = date(1, 1, 1).toordinal()
LAST_ORDINAL = date(9999, 12, 31).toordinal()
# The years 1 to 9999 in parts [first, end), one a worker process: the date
# tests go through millions of texts.
YEAR_PARTS = [(1, 2500), (2500, 5000), (5000, 7500), (7500, 10000)]


def dates_of(years):
    """Every date of the years [first, end) of `years`, in order."""
    first = date(years[0], 1, 1).toordinal()
    last = date(years[1] - 1, 12, 31).toordinal()
    return [date.fromordinal(n) for n in range(first, last + 1)]


def outcome(function, text):
    """The value, or the exception type, that `function(text)` gives."""
    try:
        return function(text)
    except (ValueError, OverflowError) as error:
        return type(error)


def wrong_parses(texts, expected):
    """The texts that parse_iso_date does not read as `expected`, each with
    what it gave and what was expected (the first 20)."""
    parsed = list(map(trelk_rs.parse_iso_date, texts))
    if parsed == expected:
        return []
    return [(text, got, want) for text, got, want in
            zip(texts, parsed, expected) if got != want][:20]


def calendar_dates(years):
    dates = dates_of(years)
    extended = [d.isoformat() for d in dates]
    basic = [f"{d.year:04d}{d.month:02d}{d.day:02d}" for d in dates]
    # The basic texts are CPython's, too.
    theirs = list(map(date.fromisoformat, basic))
    wrong = [] if theirs == dates else [
        (text, got, want) for text, got, want in zip(basic, theirs, dates)
        if got != want][:20]
    return (wrong + wrong_parses(extended,
                                 list(map(date.fromisoformat, extended))) +
            wrong_parses(basic, dates))


def ordinal_dates(years):
    # Difference 1: no CPython parser reads these; build them from day 1.
    texts = [f"{year:04d}-{day:03d}" for year in range(*years)
             for day in range(1, 366 + calendar.isleap(year))]
    dates = dates_of(years)
    return (wrong_parses(texts, dates) +
            wrong_parses([t.replace("-", "") for t in texts], dates))


def week_dates(years):
    dates = dates_of(years)
    calendars = [tuple(d.isocalendar()) for d in dates]
    extended = [f"{y:04d}-W{w:02d}-{wd}" for y, w, wd in calendars]
    wrong = wrong_parses(extended, list(map(date.fromisoformat, extended)))
    wrong += wrong_parses([t.replace("-", "") for t in extended],
                          [date.fromisocalendar(*c) for c in calendars])
    # Every seventh day from 1 January of the year 1, a Monday.
    skip = -(dates[0].toordinal() - FIRST_ORDINAL) % 7
    mondays = [t[:8] for t in extended[skip::7]]
    return wrong + wrong_parses(mondays, list(map(date.fromisoformat, mondays)))


class DateTest(unittest.TestCase):
    def assert_every_year(self, check):
        """Runs check(years) over YEAR_PARTS on worker processes; each
        returns the (text, got, expected) that are wrong."""
        with concurrent.futures.ProcessPoolExecutor(len(YEAR_PARTS)) as pool:
            wrong = [w for part in pool.map(check, YEAR_PARTS) for w in part]
        self.assertEqual(wrong, [])

    def test_every_calendar_date(self):
        self.assert_every_year(calendar_dates)

    def test_every_ordinal_date(self):
        self.assert_every_year(ordinal_dates)
        for year in (2023, 2024, 1900, 2000):
            days = 366 if year % 4 == 0 and year != 1900 else 365
            for text in (f"{year}-{days + 1:03d}", f"{year}000"):
                with self.subTest(text=text):
                    with self.assertRaises(ValueError):
                        trelk_rs.parse_iso_date(text)

    def test_every_week_date(self):
        self.assert_every_year(week_dates)

    def test_week_53_of_every_year(self):
        # Difference 2: week 53 of a 52-week year runs into the next year.
        for year in range(1, 10000):
            monday = date.fromisocalendar(year, 1, 1)
            for weekday in range(1, 8):
                text = f"{year:04d}-W53-{weekday}"
                ordinal = monday.toordinal() + 52 * 7 + weekday - 1
                if ordinal > LAST_ORDINAL:
                    expected = ValueError  # year 10000
                else:
                    expected = date.fromordinal(ordinal)
                got = outcome(trelk_rs.parse_iso_date, text)
                if got != expected:
                    self.assertEqual(got, expected, text)
                theirs = outcome(date.fromisoformat, text)
                if date(year, 12, 28).isocalendar().week == 53:
                    self.assertEqual(theirs, expected, text)
                else:
                    self.assertIs(theirs, ValueError, text)

    def test_shorter_forms_and_impossible_dates(self):
        # Difference 3 and the constructor's own checks.
        cases = {
            "20": date(2001, 1, 1),
            "2024": date(2024, 1, 1),
            "202403": date(2024, 3, 1),
            "2024-03": date(2024, 3, 1),
            "0000": ValueError,
            "2023-02-29": ValueError,
            "2024-02-30": ValueError,
            "2024-13-01": ValueError,
            "2024-00-10": ValueError,
            "2024-04-31": ValueError,
        }
        for text, expected in cases.items():
            with self.subTest(text=text):
                self.assertEqual(outcome(trelk_rs.parse_iso_date, text),
                                 expected)
        for text in ("2023-02-29", "2024-13-01", "2024-04-31"):
            self.assertEqual(outcome(date.fromisoformat, text), ValueError)


def time_grid():
    """Texts with the parts each time form can have, valid or not."""
    hours = ["00", "09", "12", "23", "24"]
    minutes = ["00", "30", "59", "60"]
    seconds = ["00", "01", "59", "60"]
    fractions = ["", ".5", ",5", ".000249", ".123456", ".1234567", ".999999",
                 ".9999999", "."]
    zones = ["", "Z", "z", "+00:00", "-00:00", "+05:30", "-0530", "+05",
             "-23:59", "+24:00", "+05:30:15", "+5"]
    layouts = []
    for h in hours:
        layouts.append(("hour", h))
        for m in minutes:
            layouts.append(("minute", f"{h}:{m}"))
            layouts.append(("minute", f"{h}{m}"))
            for s in seconds:
                layouts.append(("second", f"{h}:{m}:{s}"))
                layouts.append(("second", f"{h}{m}{s}"))
    for prefix in ("", "T"):
        for unit, clock in layouts:
            for fraction in fractions:
                for zone in zones:
                    yield unit, fraction, zone, prefix + clock + fraction + zone


def offset_of(value):
    return value.utcoffset() if value.tzinfo is not None else None


class TimeTest(unittest.TestCase):
    def test_grid_against_time_fromisoformat(self):
        compared = 0
        for unit, fraction, zone, text in time_grid():
            ours = outcome(trelk_rs.parse_iso_time, text)
            theirs = outcome(time.fromisoformat, text)
            ours_ok = isinstance(ours, time)
            theirs_ok = isinstance(theirs, time)
            if unit != "second" and fraction:
                continue  # difference 4: a fraction of another unit
            if zone == "z":
                # Difference 5: as "Z" here, rejected by CPython.
                upper = text[:-1] + "Z"
                self.assertEqual(ours, outcome(trelk_rs.parse_iso_time, upper),
                                 text)
                self.assertIs(theirs, ValueError, text)
                continue
            if zone == "+05:30:15" or (fraction == "." and zone):
                self.assertIs(ours, ValueError, text)  # differences 6 and 8
                continue
            self.assertEqual(ours_ok, theirs_ok, text)
            if ours_ok:
                compared += 1
                self.assertEqual(
                    (ours.hour, ours.minute, ours.second, ours.microsecond,
                     offset_of(ours)),
                    (theirs.hour, theirs.minute, theirs.second,
                     theirs.microsecond, offset_of(theirs)), text)
        self.assertGreater(compared, 5000)

    def test_fractions_of_hours_and_minutes(self):
        # Difference 4, exact decimal arithmetic: no binary rounding.
        cases = {
            "12.5": time(12, 30),
            "12:30.5": time(12, 30, 30),
            "1230,25": time(12, 30, 15),
            "12.99999999": time(12, 59, 59, 999964),
            "00:00.0000041500": time(0, 0, 0, 249),
            "00.00000000125": time(0, 0, 0, 4),
            "12.9999999999": ValueError,  # 1000000 µs: not carried
        }
        for text, expected in cases.items():
            with self.subTest(text=text):
                self.assertEqual(outcome(trelk_rs.parse_iso_time, text),
                                 expected)

    def test_zone_names_follow_the_text(self):
        # Difference 7.
        cases = {"12:00+05:30": ("+05:30", timedelta(hours=5, minutes=30)),
                 "12:00-0530": ("-0530", -timedelta(hours=5, minutes=30)),
                 "12:00+00:00": ("+00:00", timedelta(0)),
                 "12:00-00:00": ("-00:00", timedelta(0))}
        for text, (name, offset) in cases.items():
            with self.subTest(text=text):
                value = trelk_rs.parse_iso_time(text)
                self.assertEqual(value.tzname(), name)
                self.assertEqual(value.utcoffset(), offset)
                self.assertIsNot(value.tzinfo, timezone.utc)
        self.assertIs(trelk_rs.parse_iso_time("12:00Z").tzinfo, timezone.utc)
        self.assertIs(trelk_rs.parse_iso_time("12:00z").tzinfo, timezone.utc)


def random_datetime_text(rng):
    d = date.fromordinal(rng.randint(FIRST_ORDINAL, LAST_ORDINAL))
    year, week, weekday = d.isocalendar()
    date_text = rng.choice([
        d.isoformat(), f"{d.year:04d}{d.month:02d}{d.day:02d}",
        f"{year:04d}-W{week:02d}-{weekday}", f"{year:04d}W{week:02d}{weekday}",
    ])
    h, m, s = rng.randrange(24), rng.randrange(60), rng.randrange(60)
    digits = "".join(rng.choice("0123456789")
                     for _ in range(rng.randint(1, 9)))
    fraction = rng.choice(["", "", "." + digits, "," + digits])
    time_text = rng.choice([
        f"{h:02d}:{m:02d}:{s:02d}{fraction}", f"{h:02d}{m:02d}{s:02d}{fraction}",
        f"{h:02d}:{m:02d}", f"{h:02d}{m:02d}", f"{h:02d}",
    ])
    oh, om = rng.randrange(24), rng.randrange(60)
    sign = rng.choice("+-")
    zone = rng.choice([
        "", "Z", f"{sign}{oh:02d}:{om:02d}", f"{sign}{oh:02d}{om:02d}",
        f"{sign}{oh:02d}", "+00:00", "-00:00",
    ])
    return date_text + rng.choice("T ") + time_text + zone


class DateTimeTest(unittest.TestCase):
    def test_random_iso_datetimes_against_fromisoformat(self):
        rng = random.Random(20261210)
        for _ in range(50000):
            text = random_datetime_text(rng)
            ours = trelk_rs.parse_datetime(text)
            theirs = datetime.fromisoformat(text)
            self.assertEqual(ours, theirs, text)
            self.assertEqual(ours.tzinfo, theirs.tzinfo, text)
            self.assertEqual(ours.tzname(), theirs.tzname(), text)
            if theirs.tzinfo is timezone.utc:
                self.assertIs(ours.tzinfo, timezone.utc, text)

    def test_a_time_alone_takes_today(self):
        today = date.today()
        value = trelk_rs.parse_datetime("9:30")
        self.assertEqual(value.date(), today)
        self.assertEqual(value.time(), time(9, 30))


class DurationTest(unittest.TestCase):
    def test_round_trip_of_random_timedeltas(self):
        rng = random.Random(86400)
        limit = 100000 * 86400 * 10**6
        for _ in range(100000):
            days = rng.choice([0, rng.randrange(-100000, 100000)])
            seconds = rng.choice([0, rng.randrange(86400),
                                  60 * rng.randrange(1440),
                                  3600 * rng.randrange(24)])
            micro = rng.choice([0, rng.randrange(10**6),
                                1000 * rng.randrange(1000)])
            delta = timedelta(days=days, seconds=seconds, microseconds=micro)
            if rng.random() < 0.5:
                delta = timedelta(microseconds=rng.randrange(-limit, limit))
            text = trelk_rs.duration_isoformat(delta)
            back = trelk_rs.parse_iso_duration(text)
            if back != delta:
                self.assertEqual(back, delta, text)

    def test_python_edges(self):
        self.assertEqual(trelk_rs.duration_isoformat(timedelta(0)), "P0D")
        self.assertEqual(trelk_rs.duration_isoformat(-timedelta(seconds=1)),
                         "-PT1S")
        self.assertEqual(
            trelk_rs.duration_isoformat(timedelta.max),
            "P999999999DT23H59M59.999999S")
        self.assertEqual(trelk_rs.duration_isoformat(timedelta.min),
                         "-P999999999D")
        self.assertEqual(trelk_rs.parse_iso_duration("P999999999D"),
                         timedelta(days=999999998, seconds=86399,
                                   microseconds=991808))
        self.assertEqual(trelk_rs.parse_iso_duration("-PT1S"),
                         timedelta(days=-1, seconds=86399))
        with self.assertRaises(OverflowError):
            trelk_rs.parse_iso_duration("P1000000000D")
        with self.assertRaisesRegex(OverflowError,
                                    "^Duration value is out of range$"):
            trelk_rs.parse_iso_duration("P2147483648D")


if __name__ == "__main__":
    unittest.main()
