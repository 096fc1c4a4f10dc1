#include "support/DateText.h"

#include <cstdint>
#include <optional>

namespace {

class Reader {
public:
    explicit Reader(const std::u16string& text) : m_text(text) {}

    bool AtEnd() const { return m_pos == m_text.size(); }
    char16_t Peek() const { return AtEnd() ? u'\0' : m_text[m_pos]; }
    bool Take(char16_t c)
    {
        if (Peek() != c)
            return false;
        ++m_pos;
        return true;
    }
    size_t SkipBlanks()
    {
        const size_t start = m_pos;
        while (Peek() == u' ' || Peek() == u'\t')
            ++m_pos;
        return m_pos - start;
    }
    // A number of `minDigits` to `maxDigits` decimal digits.
    std::optional<int> Number(size_t minDigits, size_t maxDigits)
    {
        int number = 0;
        size_t digits = 0;
        while (digits < maxDigits && Peek() >= u'0' && Peek() <= u'9') {
            number = number * 10 + (Peek() - u'0');
            ++m_pos;
            ++digits;
        }
        if (digits < minDigits || (Peek() >= u'0' && Peek() <= u'9'))
            return std::nullopt;
        return number;
    }
    size_t Position() const { return m_pos; }
    void Rewind(size_t pos) { m_pos = pos; }

private:
    const std::u16string& m_text;
    size_t m_pos = 0;
};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct Date {
    int year = 1899, month = 12, day = 30;
};

std::optional<Date> ReadDate(Reader& in)
{
    Date date;
    const auto year = in.Number(4, 4);
    if (!year)
        return std::nullopt;
    const char16_t separator = in.Peek();
    if (separator != u'-' && separator != u'/' && separator != u'.')
        return std::nullopt;
    in.Take(separator);
    const auto month = in.Number(1, 2);
    if (!month || !in.Take(separator))
        return std::nullopt;
    const auto day = in.Number(1, 2);
    if (!day)
        return std::nullopt;
    date.year = *year;
    date.month = *month;
    date.day = *day;
    return date;
}

// The time of day as a fraction of a day.
std::optional<double> ReadTime(Reader& in)
{
    const auto hour = in.Number(1, 2);
    if (!hour || !in.Take(u':'))
        return std::nullopt;
    const auto minute = in.Number(1, 2);
    if (!minute)
        return std::nullopt;
    double second = 0;
    if (in.Take(u':')) {
        const auto whole = in.Number(1, 2);
        if (!whole)
            return std::nullopt;
        second = *whole;
        if (in.Take(u'.')) {
            double scale = 0.1;
            size_t digits = 0;
            for (; in.Peek() >= u'0' && in.Peek() <= u'9'; ++digits, scale /= 10) {
                second += (in.Peek() - u'0') * scale;
                in.Take(in.Peek());
            }
            if (digits == 0)
                return std::nullopt;
        }
    }
    if (*hour > 23 || *minute > 59 || second >= 60)
        return std::nullopt;
    return (*hour * 3600.0 + *minute * 60.0 + second) / 86400.0;
}

} // namespace

bool ParseDateText(const std::u16string& text, double& value)
{
    value = 0;
    Reader in(text);
    in.SkipBlanks();
    const size_t start = in.Position();

    std::optional<Date> date = ReadDate(in);
    std::optional<double> time;
    if (date) {
        const size_t blanks = in.SkipBlanks();
        if (!in.AtEnd()) {
            if (blanks == 0 && !in.Take(u'T'))
                return false;
            time = ReadTime(in);
            if (!time)
                return false;
        }
    } else {
        in.Rewind(start);
        time = ReadTime(in);
        if (!time)
            return false;
        date = Date();
    }
    in.SkipBlanks();
    if (!in.AtEnd())
        return false;

    if (date->month < 1 || date->month > 12 || date->day < 1 || date->day > DaysInMonth(date->year, date->month))
        return false;
    if (date->year < 100) {
        value = -1;
        return false;
    }
    const double days = static_cast<double>(DaysFromCivil(date->year, date->month, date->day) - DaysFromCivil(1899, 12, 30));
    const double fraction = time.value_or(0.0);
    // Before day 0 the fraction still counts forwards from midnight: -1.25 is 1899-12-29 06:00.
    value = days < 0 ? days - fraction : days + fraction;
    return true;
}
