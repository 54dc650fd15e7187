#include "sms/Timestamp.h"

namespace pelvaro {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
constexpr std::uint8_t kZoneSign = 0x08;  // in the zone's first semi-octet
constexpr int kFarthestZone = 14 * 4;     // in quarter hours: Kiribati's +14:00

// The semi-octets in the order they are read: the low one of each octet first.
int First(std::uint8_t octet) {
    return octet & 0x0F;
}
int Second(std::uint8_t octet) {
    return octet >> 4;
}

// Two semi-octets as a number: 0x21 is 12. Those that are no digits count as 0.
int SwappedDigits(std::uint8_t octet) {
    const int first = First(octet);
    const int second = Second(octet);
    return (first < 10 ? first : 0) * 10 + (second < 10 ? second : 0);
}

// The zone's first semi-octet without its sign.
std::uint8_t ZoneDigits(std::uint8_t octet) {
    return static_cast<std::uint8_t>(octet & ~kZoneSign);
}

bool AreDigits(std::uint8_t octet) {
    return First(octet) < 10 && Second(octet) < 10;
}

// Two digits of a year stand for 1990 to 2089, as phones read them.
int FullYear(int twoDigits) {
    return twoDigits >= 90 ? 1900 + twoDigits : 2000 + twoDigits;
}

bool IsLeap(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days from 2000-01-01 to the date, by the proleptic Gregorian calendar.
std::int64_t DaysSince2000(int year, int month, int day) {
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr std::int64_t kDaysTo2000 = 730425;  // from 0000-03-01
    return std::int64_t{era} * 146097 + dayOfEra - kDaysTo2000;
}

struct Moment {
    int year, month, day, hour, minute, second;
    int zone;  // quarter hours east of UTC
};

Moment Read(const Timestamp& stamp) {
    const int quarters = SwappedDigits(ZoneDigits(stamp[6]));
    return {FullYear(SwappedDigits(stamp[0])),
            SwappedDigits(stamp[1]),
            SwappedDigits(stamp[2]),
            SwappedDigits(stamp[3]),
            SwappedDigits(stamp[4]),
            SwappedDigits(stamp[5]),
            (stamp[6] & kZoneSign) != 0 ? -quarters : quarters};
}

bool IsDate(const Timestamp& stamp, const Moment& m) {
    for (std::size_t i = 0; i < 6; ++i) {
        if (!AreDigits(stamp[i])) return false;
    }
    return AreDigits(ZoneDigits(stamp[6])) && m.month >= 1 && m.month <= 12 && m.day >= 1 &&
           m.day <= DaysInMonth(m.year, m.month) && m.hour < 24 && m.minute < 60 && m.second < 60 &&
           m.zone >= -kFarthestZone && m.zone <= kFarthestZone;
}

char16_t* Digits(int value, int count, char16_t* text) {
    for (int i = count - 1; i >= 0; --i, value /= 10) text[i] = kHexDigits[value % 10];
    return text + count;
}

}  // namespace

std::int64_t SecondsSince2000(const Timestamp& stamp) {
    const Moment m = Read(stamp);
    const std::int64_t days =
        DaysSince2000(m.year, m.month < 1 ? 1 : m.month, m.day < 1 ? 1 : m.day);
    const std::int64_t seconds = days * 86400 + m.hour * 3600 + m.minute * 60 + m.second;
    return seconds - std::int64_t{m.zone} * 15 * 60;
}

std::size_t WriteTimestampText(const Timestamp& stamp, char16_t* text) {
    const Moment m = Read(stamp);
    char16_t* at = text;
    if (!IsDate(stamp, m)) {
        for (const std::uint8_t octet : stamp) {
            *at++ = kHexDigits[First(octet)];
            *at++ = kHexDigits[Second(octet)];
        }
        return static_cast<std::size_t>(at - text);
    }
    const int zone = m.zone < 0 ? -m.zone : m.zone;
    // 2026-12-09 14:03:07 +01:00: each field with what comes before it and its width.
    const struct {
        const char16_t* before;
        int value;
        int width;
    } fields[] = {{u"", m.year, 4},
                  {u"-", m.month, 2},
                  {u"-", m.day, 2},
                  {u" ", m.hour, 2},
                  {u":", m.minute, 2},
                  {u":", m.second, 2},
                  {m.zone < 0 ? u" -" : u" +", zone / 4, 2},
                  {u":", zone % 4 * 15, 2}};
    for (const auto& field : fields) {
        for (const char16_t* c = field.before; *c; ++c) *at++ = *c;
        at = Digits(field.value, field.width, at);
    }
    return static_cast<std::size_t>(at - text);
}

}  // namespace pelvaro
