"""The eleven module functions: conversions, zones, exceptions."""

import datetime
import math
import subprocess
import sys
import types
import unittest
import zoneinfo
from unittest import mock

import trelk_rs

UTC = datetime.timezone.utc

DURATION_MESSAGE = (
    "The duration '{}' contained a component '{}' that could not be parsed. "
    "Please use a valid duration, like '10m', '1h', or '1h30m'. Read more at "
    "https://docs.trelk.dev/api-docs#Duration")


class Float:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadFloat:
    def __float__(self):
        raise ZeroDivisionError("no float")


class StrSubclass(str):
    pass


class CompactDurationTest(unittest.TestCase):
    def test_parse(self):
        cases = [
            (trelk_rs.parse_duration_ms, "1h30m", 5400000),
            (trelk_rs.parse_duration_ms, "-1h", -3600000),
            (trelk_rs.parse_duration_ms, "9223372036854775807ms",
             9223372036854775807),
            (trelk_rs.parse_duration_s, "-1500ms", -1),
            (trelk_rs.parse_duration_s, "infinity", 3153600000),
            (trelk_rs.parse_duration_s, StrSubclass("2m"), 120),
        ]
        for function, text, expected in cases:
            with self.subTest(function=function.__name__, text=text):
                result = function(text)
                self.assertIs(type(result), int)
                self.assertEqual(result, expected)

    def test_invalid_text_is_a_value_error_with_the_message(self):
        cases = [("5m3x2h", "3x2h"), ("-", "-"), ("5m \u00b5", "\u00b5"),
                 ("9223372036854775807s", "9223372036854775807s")]
        for function in (trelk_rs.parse_duration_ms, trelk_rs.parse_duration_s):
            for text, component in cases:
                with self.subTest(function=function.__name__, text=text):
                    with self.assertRaises(ValueError) as raised:
                        function(text)
                    self.assertEqual(raised.exception.args,
                                     (DURATION_MESSAGE.format(text, component),))

    def test_seconds_to_duration_string_conversions(self):
        cases = [
            (5400, "1h30m"),
            (90061.5, "1d1h1m1s500ms"),
            (True, "1s"),
            (Float(59.5), "59s500ms"),
            (Index(3600), "1h"),
            (math.nan, ""),
            (math.inf, "infinity"),
            (-math.inf, "-213503982334601d7h15s18446744073709551615ms"),
            (-0.0001, "-"),
            (10**400 // 10**398, "1m40s"),
        ]
        for value, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(trelk_rs.seconds_to_duration_string(value),
                                 expected)
        self.assertEqual(
            trelk_rs.seconds_to_duration_string(total_seconds=61), "1m1s")

    def test_seconds_to_duration_string_refusals(self):
        with self.assertRaises(TypeError) as raised:
            trelk_rs.seconds_to_duration_string("60")
        self.assertEqual(str(raised.exception),
                         "argument 'total_seconds': must be real number, not str")
        # Exceptions other than TypeError pass unchanged.
        with self.assertRaises(ZeroDivisionError):
            trelk_rs.seconds_to_duration_string(BadFloat())
        with self.assertRaises(OverflowError):
            trelk_rs.seconds_to_duration_string(10**400)


class IsoDateAndTimeTest(unittest.TestCase):
    def test_parse_iso_date(self):
        self.assertEqual(trelk_rs.parse_iso_date("2024-01-02"),
                         datetime.date(2024, 1, 2))
        self.assertIs(type(trelk_rs.parse_iso_date("2024-01-02")), datetime.date)

    def test_out_of_range_fields_are_the_interpreters_value_error(self):
        cases = [
            (trelk_rs.parse_iso_date, "2024-13-01", "month must be in 1..12"),
            (trelk_rs.parse_iso_date, "2024-04-31",
             "day is out of range for month"),
            (trelk_rs.parse_iso_time, "24:00", "hour must be in 0..23"),
            (trelk_rs.parse_datetime, "2024-01-02T25:00",
             "hour must be in 0..23"),
        ]
        for function, text, message in cases:
            with self.subTest(text=text):
                with self.assertRaises(ValueError) as raised:
                    function(text)
                self.assertEqual(str(raised.exception), message)

    def test_parser_errors_are_value_errors(self):
        for function in (trelk_rs.parse_iso_date, trelk_rs.parse_iso_time,
                         trelk_rs.parse_datetime, trelk_rs.parse_iso_duration):
            with self.subTest(function.__name__):
                with self.assertRaises(ValueError):
                    function("not a value")

    def test_time_zones(self):
        named_zero = trelk_rs.parse_iso_time("12:00+00:00")
        self.assertIsNot(named_zero.tzinfo, UTC)
        self.assertEqual(named_zero.tzname(), "+00:00")
        self.assertEqual(named_zero.utcoffset(), datetime.timedelta(0))

        west = trelk_rs.parse_iso_time("12:00-05:00")
        self.assertEqual(west.utcoffset(), datetime.timedelta(days=-1,
                                                              seconds=68400))
        self.assertEqual(west.tzname(), "-05:00")

        self.assertIs(trelk_rs.parse_iso_time("12:00Z").tzinfo, UTC)
        self.assertIsNone(trelk_rs.parse_iso_time("12:00").tzinfo)

        self.assertIs(trelk_rs.parse_datetime("2024-01-02T12:00+00:00").tzinfo,
                      UTC)
        self.assertIs(trelk_rs.parse_datetime("2024-01-02T12:00Z").tzinfo, UTC)
        east = trelk_rs.parse_datetime("2024-01-02T12:00+05:30")
        self.assertEqual(east, datetime.datetime(
            2024, 1, 2, 12, 0, tzinfo=datetime.timezone(
                datetime.timedelta(seconds=19800))))
        # Unnamed: the interpreter's default name for a fixed offset.
        self.assertEqual(east.tzname(), "UTC+05:30")
        self.assertIsNone(trelk_rs.parse_datetime("2024-01-02T12:00").tzinfo)

    def test_time_alone_takes_todays_date(self):
        before = datetime.date.today()
        parsed = trelk_rs.parse_datetime("12:34")
        after = datetime.date.today()
        self.assertIn(parsed.date(), (before, after))
        self.assertEqual(parsed.time(), datetime.time(12, 34))


class DateTodayTest(unittest.TestCase):
    """`datetime.date.today` is looked up on every call of parse_datetime."""

    def patched_date(self, today):
        return mock.patch.object(
            datetime, "date",
            type("PatchedDate", (datetime.date,), {"today": classmethod(today)}))

    def test_a_failing_today_propagates(self):
        def today(cls):
            raise KeyError("no clock")

        with self.patched_date(today):
            with self.assertRaises(KeyError):
                trelk_rs.parse_datetime("2024-01-02T12:00")
        self.assertIs(datetime.date, datetime.datetime.__mro__[1])
        self.assertEqual(trelk_rs.parse_datetime("2024-01-02"),
                         datetime.datetime(2024, 1, 2))

    def test_today_returning_no_date_is_a_type_error(self):
        with self.patched_date(lambda cls: "2024-01-02"):
            with self.assertRaises(TypeError) as raised:
                trelk_rs.parse_datetime("12:00")
        self.assertEqual(str(raised.exception),
                         "'str' object is not an instance of 'date'")

    def test_today_supplies_the_default_date(self):
        with self.patched_date(lambda cls: datetime.datetime(1999, 12, 31, 5)):
            self.assertEqual(trelk_rs.parse_datetime("12:00"),
                             datetime.datetime(1999, 12, 31, 12, 0))


class DatetimeLookupTest(unittest.TestCase):
    """`datetime.timezone` and `datetime.date` are read from the module anew
    on each call, and a blocked `datetime` import still fails as an import."""

    def test_named_zone_must_be_a_tzinfo(self):
        with mock.patch.object(datetime, "timezone", lambda delta, name: 42):
            with self.assertRaises(TypeError) as raised:
                trelk_rs.parse_iso_time("12:00+01:00")
            self.assertEqual(str(raised.exception),
                             "'int' object is not an instance of 'tzinfo'")
            # Only the named zones of parse_iso_time call datetime.timezone.
            self.assertIs(trelk_rs.parse_iso_time("12:00Z").tzinfo, UTC)
            self.assertEqual(
                trelk_rs.parse_datetime("2024-01-02T12:00+01:00").utcoffset(),
                datetime.timedelta(hours=1))

    def test_blocked_datetime_import_propagates(self):
        trelk_rs.parse_iso_date("2024-01-02")  # binds the C API first
        with mock.patch.dict(sys.modules, {"datetime": None}):
            for call in (lambda: trelk_rs.parse_datetime("2024-01-02"),
                         lambda: trelk_rs.parse_iso_time("12:00+01:00")):
                with self.assertRaises(ImportError):
                    call()
        self.assertEqual(trelk_rs.parse_datetime("2024-01-02"),
                         datetime.datetime(2024, 1, 2))


class FailedFirstCallTest(unittest.TestCase):
    """A first call that runs out of memory leaves no half-made state behind.

    Each child process fails its k-th allocation during its first call, then
    calls again with the memory hooks removed; k grows until the first call
    no longer fails. Whatever the first call cached must not break the second.
    `datetime` is imported beforehand: the interpreter's own module cannot be
    imported again after running out of memory halfway through its import.
    """

    CHILD = """
import sys, _testcapi, datetime, trelk_rs
k = int(sys.argv[1])
_testcapi.set_nomemory(k, k + 1)
try:
    trelk_rs.{call}
    first = "ok"
except BaseException as error:
    first = type(error).__name__
finally:
    _testcapi.remove_mem_hooks()
try:
    trelk_rs.{call}
    second = "ok"
except BaseException as error:
    second = repr(error)
print(first, second)
"""

    def test_second_call_works(self):
        try:
            import _testcapi  # noqa: F401
        except ImportError:
            self.skipTest("the interpreter has no _testcapi")
        for call in ('parse_datetime("12:00")',
                     'parse_iso_time("12:00+01:00")'):
            child = self.CHILD.format(call=call)
            for k in range(200):
                output = subprocess.run(
                    [sys.executable, "-c", child, str(k)],
                    capture_output=True, text=True, check=True).stdout
                first, second = output.split(maxsplit=1)
                with self.subTest(call=call, k=k):
                    self.assertEqual(second.strip(), "ok")
                if first == "ok":
                    break
            else:
                self.fail(f"{call} never succeeded under the memory hooks")


class IsoDurationTest(unittest.TestCase):
    def test_parse_iso_duration(self):
        cases = [
            ("P0Y", datetime.timedelta(0)),
            ("PT1.5S", datetime.timedelta(seconds=1, microseconds=500000)),
            ("-PT1S", datetime.timedelta(days=-1, seconds=86399)),
            ("P1DT2H", datetime.timedelta(days=1, hours=2)),
        ]
        for text, expected in cases:
            with self.subTest(text=text):
                self.assertEqual(trelk_rs.parse_iso_duration(text), expected)

    def test_year_or_month_is_a_type_error_naming_the_input(self):
        for text in ("P1Y", "P2M", StrSubclass("P1Y2M3D")):
            with self.subTest(text=text):
                with self.assertRaises(TypeError) as raised:
                    trelk_rs.parse_iso_duration(text)
                self.assertEqual(raised.exception.args, (
                    f"ISO 8601 duration '{text}' contains year/month components "
                    "that cannot be represented as a fixed timedelta",))

    def test_overflow(self):
        # Days beyond 32 bits: the native split's message.
        with self.assertRaises(OverflowError) as raised:
            trelk_rs.parse_iso_duration("P3000000000D")
        self.assertEqual(raised.exception.args,
                         ("Duration value is out of range",))
        # Days within 32 bits but beyond timedelta's limit: the interpreter's.
        with self.assertRaises(OverflowError) as raised:
            trelk_rs.parse_iso_duration("P1000000000D")
        self.assertNotEqual(raised.exception.args,
                            ("Duration value is out of range",))

    def test_duration_isoformat(self):
        class Delta(datetime.timedelta):
            pass

        self.assertEqual(trelk_rs.duration_isoformat(datetime.timedelta(0)),
                         "P0D")
        self.assertEqual(trelk_rs.duration_isoformat(Delta(days=1, hours=2)),
                         "P1DT2H")
        negative = datetime.timedelta(seconds=-1)
        self.assertEqual(trelk_rs.duration_isoformat(negative), "-PT1S")
        self.assertEqual(trelk_rs.duration_isoformat(negative),
                         trelk_rs.duration_isoformat(tduration=negative))

    def test_duration_isoformat_refuses_anything_else(self):
        for value in (5, None, "PT1S", datetime.date(2024, 1, 1)):
            with self.subTest(value=value):
                with self.assertRaises(TypeError) as raised:
                    trelk_rs.duration_isoformat(value)
                self.assertEqual(raised.exception.args,
                                 ("duration_isoformat expects a "
                                  "datetime.timedelta",))


class TimezoneFromNameTest(unittest.TestCase):
    def test_known_and_unknown_names(self):
        self.assertIs(trelk_rs.timezone_from_name("Europe/Paris"),
                      zoneinfo.ZoneInfo("Europe/Paris"))
        for name in ("Nowhere/Special", "../etc/passwd", "UTC\0x"):
            with self.subTest(name=name):
                self.assertIsNone(trelk_rs.timezone_from_name(name))

    def test_empty_name_imports_nothing(self):
        with mock.patch.dict(sys.modules, {"zoneinfo": None}):
            self.assertIsNone(trelk_rs.timezone_from_name(""))
            with self.assertRaises(ImportError):
                trelk_rs.timezone_from_name("Europe/Paris")

    def test_missing_zoneinfo_attribute_propagates(self):
        with mock.patch.dict(sys.modules,
                             {"zoneinfo": types.ModuleType("zoneinfo")}):
            with self.assertRaises(AttributeError):
                trelk_rs.timezone_from_name("Europe/Paris")

    def test_zoneinfo_result_must_be_a_tzinfo(self):
        with mock.patch.object(zoneinfo, "ZoneInfo", lambda key: 42):
            with self.assertRaises(TypeError) as raised:
                trelk_rs.timezone_from_name("Europe/Paris")
        self.assertEqual(str(raised.exception),
                         "'int' object is not an instance of 'tzinfo'")
        fixed = datetime.timezone(datetime.timedelta(hours=1), "X")
        with mock.patch.object(zoneinfo, "ZoneInfo", lambda key: fixed):
            self.assertIs(trelk_rs.timezone_from_name("X"), fixed)
        self.assertIsInstance(trelk_rs.timezone_from_name("Europe/Paris"),
                              zoneinfo.ZoneInfo)

    def test_exceptions_of_the_call(self):
        def raising(exception):
            def zone_info(key):
                raise exception
            return zone_info

        for exception in (ValueError("bad"), RuntimeError("odd"),
                          zoneinfo.ZoneInfoNotFoundError("missing")):
            with self.subTest(exception=exception):
                with mock.patch.object(zoneinfo, "ZoneInfo", raising(exception)):
                    self.assertIsNone(trelk_rs.timezone_from_name("A/B"))
        # An interrupt or an exit request is not a failed lookup.
        for exception in (KeyboardInterrupt(), SystemExit(3)):
            with self.subTest(exception=exception):
                with mock.patch.object(zoneinfo, "ZoneInfo", raising(exception)):
                    with self.assertRaises(type(exception)):
                        trelk_rs.timezone_from_name("A/B")


class NamesTest(unittest.TestCase):
    def test_to_snake_case(self):
        self.assertEqual(trelk_rs.to_snake_case("getXMLNodeName"),
                         "get_xml_node_name")
        self.assertEqual(trelk_rs.to_snake_case(name="\u00c4pfelBaum"),
                         "\u00e4pfel_baum")

    def test_build_namespaced_name(self):
        cases = [
            ((), {}, ""),
            ((), {"name": None}, ""),
            ((None, "X"), {}, "X"),
            (("Foo::BarBaz", "my_Feature"), {}, "foo::bar_baz::my_Feature"),
            (("::a::",), {}, "a"),
            ((), {"namespace": "A:::B"}, "a:::b"),
            (("User", ""), {}, "user"),
        ]
        for args, kwargs, expected in cases:
            with self.subTest(args=args, kwargs=kwargs):
                self.assertEqual(trelk_rs.build_namespaced_name(*args, **kwargs),
                                 expected)

    def test_argument_errors(self):
        cases = [
            (lambda: trelk_rs.to_snake_case("a", "b"),
             "to_snake_case() takes 1 positional arguments but 2 were given"),
            (lambda: trelk_rs.to_snake_case(nam="a"),
             "to_snake_case() got an unexpected keyword argument 'nam'"),
            (lambda: trelk_rs.to_snake_case("a", name="b"),
             "to_snake_case() got multiple values for argument 'name'"),
            (lambda: trelk_rs.to_snake_case(),
             "to_snake_case() missing 1 required positional argument: 'name'"),
            (lambda: trelk_rs.to_snake_case(b"A"),
             "argument 'name': 'bytes' object is not an instance of 'str'"),
            (lambda: trelk_rs.build_namespaced_name(1),
             "argument 'namespace': 'int' object is not an instance of 'str'"),
            (lambda: trelk_rs.build_namespaced_name("a", 1),
             "argument 'name': 'int' object is not an instance of 'str'"),
            (lambda: trelk_rs.build_namespaced_name("a", "b", "c"),
             "build_namespaced_name() takes from 0 to 2 positional arguments "
             "but 3 were given"),
            (lambda: trelk_rs.parse_iso_date(None),
             "argument 's': 'None' is not an instance of 'str'"),
            (lambda: trelk_rs.duration_isoformat(),
             "duration_isoformat() missing 1 required positional argument: "
             "'tduration'"),
            (lambda: trelk_rs.timezone_from_name(name=3),
             "argument 'name': 'int' object is not an instance of 'str'"),
        ]
        for call, message in cases:
            with self.subTest(message=message):
                with self.assertRaises(TypeError) as raised:
                    call()
                self.assertIs(type(raised.exception), TypeError)
                self.assertEqual(str(raised.exception), message)

    def test_unpaired_surrogate_is_a_unicode_encode_error(self):
        for function in (trelk_rs.to_snake_case, trelk_rs.parse_duration_ms,
                         trelk_rs.timezone_from_name):
            with self.subTest(function.__name__):
                with self.assertRaises(UnicodeEncodeError):
                    function("\ud800")


class SignatureTest(unittest.TestCase):
    def test_text_signatures(self):
        signatures = {
            "parse_duration_ms": "(s)",
            "parse_duration_s": "(s)",
            "seconds_to_duration_string": "(total_seconds)",
            "parse_iso_date": "(s)",
            "parse_iso_time": "(s)",
            "parse_datetime": "(s)",
            "parse_iso_duration": "(s)",
            "duration_isoformat": "(tduration)",
            "timezone_from_name": "(name)",
            "to_snake_case": "(name)",
            "build_namespaced_name": "(namespace=None, name=None)",
        }
        self.assertEqual(trelk_rs.__all__[-11:], list(signatures))
        for name, signature in signatures.items():
            with self.subTest(name):
                function = getattr(trelk_rs, name)
                self.assertEqual(function.__text_signature__, signature)
                self.assertIsNone(function.__doc__)


if __name__ == "__main__":
    unittest.main()
