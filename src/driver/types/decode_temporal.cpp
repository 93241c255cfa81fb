// date/time/timestamp/interval text (DateStyle ISO, IntervalStyle postgres)
// to datetime objects. Values Python cannot hold (infinity, BC, year > 9999,
// 24:00:00) come back as their text.
#include <Python.h>
#include <datetime.h>

#include <string_view>
#include <unordered_map>

#include "driver/types/decode.hpp"
#include "driver/python_types.hpp"

namespace nelvor::driver {

namespace {

constexpr long long kMicrosPerDay = 86400LL * 1000000LL;

struct TextCursor {
    const char* at;
    const char* end;

    bool done() const { return at == end; }
    bool peek(char c) const { return at != end && *at == c; }
    bool take(char c) {
        if (!peek(c)) return false;
        ++at;
        return true;
    }
    // Reads at least `min` and at most `max` digits.
    bool number(long long& value, int min, int max) {
        value = 0;
        int count = 0;
        while (at != end && count < max && *at >= '0' && *at <= '9') {
            value = value * 10 + (*at++ - '0');
            ++count;
        }
        return count >= min;
    }
    // ".123" -> 123000 microseconds; absent -> 0.
    bool fraction(long long& micros) {
        micros = 0;
        if (!take('.')) return true;
        int count = 0;
        while (at != end && *at >= '0' && *at <= '9') {
            if (count < 6) micros = micros * 10 + (*at - '0');
            ++at;
            ++count;
        }
        for (int i = count; i < 6; ++i) micros *= 10;
        return count > 0;
    }
};

struct Date { long long year, month, day; };
struct Time { long long hour, minute, second, micros; };

bool parse_date(TextCursor& in, Date& date) {
    return in.number(date.year, 4, 9) && in.take('-') && in.number(date.month, 2, 2) && in.take('-') &&
           in.number(date.day, 2, 2) && date.year >= 1 && date.year <= 9999;
}

bool parse_time(TextCursor& in, Time& time) {
    return in.number(time.hour, 2, 2) && in.take(':') && in.number(time.minute, 2, 2) && in.take(':') &&
           in.number(time.second, 2, 2) && in.fraction(time.micros) && time.hour < 24;
}

// "+HH[:MM[:SS]]" -> seconds east of UTC.
bool parse_offset(TextCursor& in, int& seconds) {
    int sign = in.take('+') ? 1 : (in.take('-') ? -1 : 0);
    long long hours = 0, minutes = 0, secs = 0;
    if (sign == 0 || !in.number(hours, 2, 2)) return false;
    if (in.take(':') && !in.number(minutes, 2, 2)) return false;
    if (in.take(':') && !in.number(secs, 2, 2)) return false;
    seconds = sign * static_cast<int>(hours * 3600 + minutes * 60 + secs);
    return true;
}

// Borrowed reference to a fixed-offset timezone, cached per offset.
PyObject* timezone_for(int offset_seconds) {
    static std::unordered_map<int, PyObject*> cache;  // per module, kept for its life
    if (offset_seconds == 0) return PyDateTime_TimeZone_UTC;
    auto found = cache.find(offset_seconds);
    if (found != cache.end()) return found->second;
    PyObject* delta = PyDelta_FromDSU(0, offset_seconds, 0);
    if (delta == nullptr) return nullptr;
    PyObject* zone = PyTimeZone_FromOffset(delta);
    Py_DECREF(delta);
    if (zone != nullptr) cache.emplace(offset_seconds, zone);
    return zone;
}

// Python refused the value (out of its range): keep the server's text.
PyObject* text_if_failed(PyObject* value, const char* text, size_t length) {
    if (value != nullptr) return value;
    if (!PyErr_ExceptionMatches(PyExc_ValueError) && !PyErr_ExceptionMatches(PyExc_OverflowError)) return nullptr;
    PyErr_Clear();
    return decode_text(text, length);
}

PyObject* build_datetime(const Date& d, const Time& t, PyObject* zone) {
    return PyDateTimeAPI->DateTime_FromDateAndTime(
        static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day), static_cast<int>(t.hour),
        static_cast<int>(t.minute), static_cast<int>(t.second), static_cast<int>(t.micros), zone,
        PyDateTimeAPI->DateTimeType);
}

PyObject* build_time(const Time& t, PyObject* zone) {
    return PyDateTimeAPI->Time_FromTime(static_cast<int>(t.hour), static_cast<int>(t.minute),
                                        static_cast<int>(t.second), static_cast<int>(t.micros), zone,
                                        PyDateTimeAPI->TimeType);
}

// One "N unit" or "[-]H:MM:SS[.f]" part of an interval; adds to days/micros.
bool parse_interval_part(TextCursor& in, long long& days, long long& micros) {
    int sign = in.take('-') ? -1 : 1;
    if (sign == 1) in.take('+');
    long long value = 0;
    if (!in.number(value, 1, 12)) return false;
    if (in.take(':')) {
        long long minutes = 0, seconds = 0, fraction = 0;
        if (!in.number(minutes, 2, 2) || !in.take(':') || !in.number(seconds, 2, 2) || !in.fraction(fraction)) {
            return false;
        }
        micros += sign * (((value * 60 + minutes) * 60 + seconds) * 1000000LL + fraction);
        return true;
    }
    if (!in.take(' ')) return false;
    const char* unit = in.at;
    while (!in.done() && *in.at != ' ') ++in.at;
    const std::string_view word(unit, static_cast<size_t>(in.at - unit));
    long long per_unit = 0;
    if (word == "year" || word == "years") per_unit = 365;
    else if (word == "mon" || word == "mons") per_unit = 30;  // months approximated as 30 days
    else if (word == "day" || word == "days") per_unit = 1;
    else return false;
    days += sign * value * per_unit;
    return true;
}

}  // namespace

PyObject* decode_date(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    Date d{};
    if (!parse_date(in, d) || !in.done()) return decode_text(text, length);
    return text_if_failed(PyDate_FromDate(static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day)),
                          text, length);
}

PyObject* decode_time(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    Time t{};
    if (!parse_time(in, t) || !in.done()) return decode_text(text, length);
    return text_if_failed(build_time(t, Py_None), text, length);
}

PyObject* decode_timetz(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    Time t{};
    int offset = 0;
    if (!parse_time(in, t) || !parse_offset(in, offset) || !in.done()) return decode_text(text, length);
    PyObject* zone = timezone_for(offset);
    if (zone == nullptr) return text_if_failed(nullptr, text, length);
    return text_if_failed(build_time(t, zone), text, length);
}

PyObject* decode_timestamp(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    Date d{};
    Time t{};
    if (!parse_date(in, d) || !in.take(' ') || !parse_time(in, t) || !in.done()) return decode_text(text, length);
    return text_if_failed(build_datetime(d, t, Py_None), text, length);
}

PyObject* decode_timestamptz(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    Date d{};
    Time t{};
    int offset = 0;
    if (!parse_date(in, d) || !in.take(' ') || !parse_time(in, t) || !parse_offset(in, offset) || !in.done()) {
        return decode_text(text, length);
    }
    PyObject* zone = timezone_for(offset);
    if (zone == nullptr) return text_if_failed(nullptr, text, length);
    return text_if_failed(build_datetime(d, t, zone), text, length);
}

PyObject* decode_interval(const char* text, size_t length) {
    NELVOR_ENSURE_DATETIME_API();
    TextCursor in{text, text + length};
    long long days = 0, micros = 0;
    while (!in.done()) {
        if (!parse_interval_part(in, days, micros)) return decode_text(text, length);
        in.take(' ');
    }
    long long carry = micros / kMicrosPerDay;
    micros -= carry * kMicrosPerDay;
    if (micros < 0) {
        micros += kMicrosPerDay;
        --carry;
    }
    days += carry;
    if (days > 999999999 || days < -999999999) return decode_text(text, length);
    const int seconds = static_cast<int>(micros / 1000000);
    return text_if_failed(PyDelta_FromDSU(static_cast<int>(days), seconds, static_cast<int>(micros % 1000000)),
                          text, length);
}

}  // namespace nelvor::driver
