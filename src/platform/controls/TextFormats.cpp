#include "platform/controls/TextFormats.h"

#include "platform/core/Error.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <string>

namespace zentaro::textformat {

namespace {

// Nine decimals is as far as any amount, rate or quantity of the suite goes; beyond that
// a double only carries binary noise.
constexpr int kMaxDecimals = 9;

// A decimal number as digit text: the integer digits (no leading zeros but at least "0")
// and the decimal digits.
struct DigitText
{
    bool negative = false;
    std::string integer;
    std::string fraction;

    bool isZero() const
    {
        return integer.find_first_not_of('0') == std::string::npos
            && fraction.find_first_not_of('0') == std::string::npos;
    }
};

// The double through its shortest round-trip text, so that 1.005 is read as the decimal
// 1.005 the user typed, not 1.00499999999999989...
DigitText shortestDigits(double value)
{
    DigitText digits;
    // The common case, an amount of at most six decimals, without going through text.
    if (std::fabs(value) < 9e9) {
        const double scaled = std::round(value * 1e6);
        if (scaled / 1e6 == value) {
            long long units = static_cast<long long>(scaled);
            digits.negative = units < 0 || std::signbit(value);
            units = units < 0 ? -units : units;
            digits.integer = std::to_string(units / 1000000);
            std::string fraction = std::to_string(units % 1000000);
            fraction.insert(0, 6 - fraction.size(), '0');
            while (!fraction.empty() && fraction.back() == '0')
                fraction.pop_back();
            digits.fraction = fraction;
            return digits;
        }
    }
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (!text.empty() && text.front() == '-') {
        digits.negative = true;
        text.erase(0, 1);
    }
    const auto point = text.find('.');
    digits.integer = text.substr(0, point);
    if (point != std::string::npos)
        digits.fraction = text.substr(point + 1);
    return digits;
}

// Rounds half away from zero to `decimals` decimals.
void roundTo(DigitText &digits, int decimals)
{
    if (int(digits.fraction.size()) <= decimals)
        return;
    const bool up = digits.fraction[std::size_t(decimals)] >= '5';
    digits.fraction.resize(std::size_t(decimals));
    if (!up)
        return;
    std::string all = digits.integer + digits.fraction;
    int i = int(all.size()) - 1;
    for (; i >= 0; --i) {
        if (all[std::size_t(i)] == '9') {
            all[std::size_t(i)] = '0';
        } else {
            ++all[std::size_t(i)];
            break;
        }
    }
    if (i < 0)
        all.insert(all.begin(), '1');
    digits.integer = all.substr(0, all.size() - std::size_t(decimals));
    digits.fraction = all.substr(all.size() - std::size_t(decimals));
}

// Multiplies by 100 by moving the point: a mask with "%" shows a rate as a percentage.
void shiftTwoPlaces(DigitText &digits)
{
    for (int i = 0; i < 2; ++i) {
        if (digits.fraction.empty()) {
            digits.integer += '0';
        } else {
            digits.integer += digits.fraction.front();
            digits.fraction.erase(0, 1);
        }
    }
}

struct Mask
{
    QString prefix;
    QString suffix;
    bool grouping = false;
    int minInteger = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool percent = false;
};

Mask parseMask(const QString &text)
{
    Mask mask;
    int i = 0;
    const int n = int(text.size());
    auto isPattern = [](QChar c) { return c == u'#' || c == u'0' || c == u',' || c == u'.'; };
    while (i < n && !isPattern(text[i]))
        mask.prefix += text[i++];
    bool inDecimals = false;
    for (; i < n && isPattern(text[i]); ++i) {
        const QChar c = text[i];
        if (c == u'.') {
            inDecimals = true;
        } else if (c == u',') {
            if (!inDecimals)
                mask.grouping = true;
        } else if (inDecimals) {
            ++mask.maxDecimals;
            if (c == u'0')
                mask.minDecimals = mask.maxDecimals;
        } else if (c == u'0') {
            ++mask.minInteger;
        }
    }
    mask.suffix = text.mid(i);
    mask.percent = mask.prefix.contains(u'%') || mask.suffix.contains(u'%');
    mask.maxDecimals = std::min(mask.maxDecimals, kMaxDecimals);
    mask.minDecimals = std::min(mask.minDecimals, mask.maxDecimals);
    return mask;
}

std::string groupThousands(const std::string &integer)
{
    std::string out;
    const int n = int(integer.size());
    out.reserve(std::size_t(n + n / 3));
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += ',';
        out += integer[std::size_t(i)];
    }
    return out;
}

[[noreturn]] void typeMismatch()
{
    throw Error(QStringLiteral("No coinciden los tipos"));
}

// A screen formats whole columns with one mask: it is read once, not once a cell.
const Mask &cachedMask(const QString &text)
{
    static thread_local QString last;
    static thread_local Mask parsed;
    if (text != last || last.isNull()) {
        parsed = parseMask(text);
        last = text;
    }
    return parsed;
}

} // namespace

QString formatNumber(double value, const QString &mask)
{
    if (std::isnan(value) || std::isinf(value))
        typeMismatch();
    DigitText digits = shortestDigits(value);
    const QString trimmedMask = mask.trimmed();
    if (trimmedMask.isEmpty()) {
        // No mask: the plain shortest text, as the suite shows numbers from the database.
        roundTo(digits, kMaxDecimals);
        while (!digits.fraction.empty() && digits.fraction.back() == '0')
            digits.fraction.pop_back();
        QString text = QString::fromStdString(digits.integer);
        if (!digits.fraction.empty())
            text += u'.' + QString::fromStdString(digits.fraction);
        return digits.negative && !digits.isZero() ? u'-' + text : text;
    }

    const Mask &m = cachedMask(mask);
    if (m.percent)
        shiftTwoPlaces(digits);
    roundTo(digits, m.maxDecimals);
    while (int(digits.fraction.size()) > m.minDecimals && digits.fraction.back() == '0')
        digits.fraction.pop_back();
    while (int(digits.fraction.size()) < m.minDecimals)
        digits.fraction += '0';

    // "#.##" shows 0.5 as ".5"; "0.00" as "0.50".
    std::string integer = digits.integer;
    const auto firstSignificant = integer.find_first_not_of('0');
    integer = firstSignificant == std::string::npos ? std::string() : integer.substr(firstSignificant);
    while (int(integer.size()) < m.minInteger)
        integer.insert(integer.begin(), '0');

    // Composed as Latin-1 bytes and turned into text once: whole columns go through here.
    std::string body = m.grouping ? groupThousands(integer) : integer;
    if (!digits.fraction.empty()) {
        body += '.';
        body += digits.fraction;
    }
    if (body.empty())
        body.push_back('0');
    // The sign goes before the currency sign: "-$3.50". A value that rounds to zero has none.
    const bool negative = digits.negative && !digits.isZero();
    QString text;
    text.reserve(qsizetype(body.size()) + m.prefix.size() + m.suffix.size() + 1);
    if (negative)
        text += u'-';
    text += m.prefix;
    text += QLatin1String(body.data(), qsizetype(body.size()));
    text += m.suffix;
    return text;
}

double readNumber(const QString &text)
{
    QString t;
    t.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace())
            t += c;
    }
    if (t.isEmpty())
        typeMismatch();

    bool negative = false;
    if (t.startsWith(u'(') && t.endsWith(u')')) {
        negative = true;
        t = t.mid(1, t.size() - 2);
    }
    // The sign may come before or after the currency sign: "-$3.50", "$-3.50".
    auto takeSign = [&] {
        if (t.startsWith(u'-') || t.startsWith(u'+')) {
            if (t.startsWith(u'-')) {
                if (negative)
                    typeMismatch();
                negative = true;
            }
            t.remove(0, 1);
            return true;
        }
        return false;
    };
    const bool signBefore = takeSign();
    if (t.startsWith(u'$'))
        t.remove(0, 1);
    if (!signBefore)
        takeSign();
    if (t.isEmpty())
        typeMismatch();

    // Group separators only among the integer digits, never leading.
    const qsizetype point = t.indexOf(u'.');
    const qsizetype exponent = t.indexOf(u'e', 0, Qt::CaseInsensitive);
    const qsizetype integerEnd = point >= 0 ? point : exponent >= 0 ? exponent : t.size();
    QString plain;
    plain.reserve(t.size());
    bool sawDigit = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == u',') {
            if (i >= integerEnd || !sawDigit)
                typeMismatch();
            continue;
        }
        if (c.isDigit() && c.unicode() < 128)
            sawDigit = true;
        plain += c;
    }
    if (!sawDigit)
        typeMismatch();
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QChar c = plain[i];
        const bool exponentSign = (c == u'+' || c == u'-') && i > 0 && (plain[i - 1] == u'e' || plain[i - 1] == u'E');
        const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || exponentSign;
        if (!allowed)
            typeMismatch();
    }
    bool ok = false;
    const double value = plain.toDouble(&ok);   // C locale: "." decimals, no groups
    if (!ok || std::isinf(value) || std::isnan(value))
        typeMismatch();
    return negative ? -value : value;
}

QString defaultDateText(const QDate &date)
{
    if (!date.isValid())
        return {};
    // Written by hand: QDate::toString parses its format on every call, and a day's load
    // formats a hundred thousand dates.
    const int year = date.year();
    if (year < 0 || year > 9999)
        return date.toString(QStringLiteral("dd/MM/yyyy"));
    const char text[] = {char('0' + date.day() / 10), char('0' + date.day() % 10), '/',
                         char('0' + date.month() / 10), char('0' + date.month() % 10), '/',
                         char('0' + year / 1000), char('0' + year / 100 % 10), char('0' + year / 10 % 10),
                         char('0' + year % 10)};
    return QString::fromLatin1(text, sizeof text);
}

QDateTime readDateTime(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral(
        R"(^(?:(\d{4})-(\d{1,2})-(\d{1,2})|(\d{1,2})/(\d{1,2})/(\d{4}))(?:[T ](\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?$)"));
    const QString typed = text.trimmed();
    const QRegularExpressionMatch match = shape.match(typed);
    if (!match.hasMatch())
        throw Error(QStringLiteral("«%1» no es una fecha válida: escriba aaaa-mm-dd o dd/mm/aaaa, y si hace falta la "
                                   "hora como HH:MM o HH:MM:SS (por ejemplo 2026-12-05T09:30)")
                        .arg(typed));
    const bool iso = match.capturedLength(1) > 0;
    const int year = match.captured(iso ? 1 : 6).toInt();
    const int month = match.captured(iso ? 2 : 5).toInt();
    const int day = match.captured(iso ? 3 : 4).toInt();
    const QDate date(year, month, day);
    if (month < 1 || month > 12)
        throw Error(QStringLiteral("«%1» no es una fecha válida: el mes %2 no existe (los meses van de 1 a 12)")
                        .arg(typed)
                        .arg(month));
    if (!date.isValid())
        throw Error(QStringLiteral("«%1» no es una fecha válida: el mes %2 de %3 no tiene día %4")
                        .arg(typed)
                        .arg(month)
                        .arg(year)
                        .arg(day));
    if (match.capturedLength(7) == 0)
        return QDateTime(date, QTime(0, 0));
    const int hour = match.captured(7).toInt();
    const int minute = match.captured(8).toInt();
    const int second = match.capturedLength(9) > 0 ? match.captured(9).toInt() : 0;
    if (hour > 23 || minute > 59 || second > 59)
        throw Error(QStringLiteral("«%1» no es una hora válida: las horas van de 00 a 23 y los minutos y segundos de "
                                   "00 a 59")
                        .arg(typed));
    return QDateTime(date, QTime(hour, minute, second));
}

} // namespace zentaro::textformat
