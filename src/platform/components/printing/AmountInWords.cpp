#include "platform/components/printing/AmountInWords.h"

#include "platform/core/Error.h"

namespace zentaro {

namespace {

const char16_t *const kUnits[] = {u"",           u"UN",         u"DOS",        u"TRES",       u"CUATRO",
                                  u"CINCO",      u"SEIS",       u"SIETE",      u"OCHO",       u"NUEVE",
                                  u"DIEZ",       u"ONCE",       u"DOCE",       u"TRECE",      u"CATORCE",
                                  u"QUINCE",     u"DIECISÉIS",  u"DIECISIETE", u"DIECIOCHO",  u"DIECINUEVE",
                                  u"VEINTE",     u"VEINTIÚN",   u"VEINTIDÓS",  u"VEINTITRÉS", u"VEINTICUATRO",
                                  u"VEINTICINCO", u"VEINTISÉIS", u"VEINTISIETE", u"VEINTIOCHO", u"VEINTINUEVE"};
const char16_t *const kTens[] = {u"", u"", u"", u"TREINTA", u"CUARENTA", u"CINCUENTA", u"SESENTA", u"SETENTA",
                                 u"OCHENTA", u"NOVENTA"};
const char16_t *const kHundreds[] = {u"",           u"CIENTO",       u"DOSCIENTOS", u"TRESCIENTOS", u"CUATROCIENTOS",
                                     u"QUINIENTOS", u"SEISCIENTOS", u"SETECIENTOS", u"OCHOCIENTOS", u"NOVECIENTOS"};

// 1..999, with "UN" for one: every group of an amount stands before a noun (pesos, mil,
// millones).
QString belowThousand(int n)
{
    QStringList words;
    if (n == 100)
        return QStringLiteral("CIEN");
    if (n >= 100)
        words << QString::fromUtf16(kHundreds[n / 100]);
    const int rest = n % 100;
    if (rest > 0 && rest < 30) {
        words << QString::fromUtf16(kUnits[rest]);
    } else if (rest >= 30) {
        words << QString::fromUtf16(kTens[rest / 10]);
        if (rest % 10)
            words << QStringLiteral("Y") << QString::fromUtf16(kUnits[rest % 10]);
    }
    return words.join(u' ');
}

// 0..999,999
QString belowMillion(int n)
{
    const int thousands = n / 1000;
    const int rest = n % 1000;
    QStringList words;
    if (thousands == 1)
        words << QStringLiteral("MIL");
    else if (thousands > 1)
        words << belowThousand(thousands) << QStringLiteral("MIL");
    if (rest)
        words << belowThousand(rest);
    return words.join(u' ');
}

} // namespace

QString numberInWords(qint64 value)
{
    if (value < 0)
        return QStringLiteral("MENOS ") + numberInWords(-value);
    if (value == 0)
        return QStringLiteral("CERO");
    if (value > 999'999'999'999LL)
        throw Error(QStringLiteral("La cantidad %1 es demasiado grande para escribirla con letra").arg(value));
    // Spanish counts millions in groups of a million: "MIL MILLONES" is 10^9.
    const int millions = int(value / 1'000'000);
    const int rest = int(value % 1'000'000);
    QStringList words;
    if (millions == 1)
        words << QStringLiteral("UN MILLÓN");
    else if (millions > 1)
        words << belowMillion(millions) << QStringLiteral("MILLONES");
    if (rest)
        words << belowMillion(rest);
    return words.join(u' ');
}

QString amountInWords(const Decimal &amount, const QString &currency)
{
    const qint64 cents = amount.rounded(2).units() / (Decimal::kOne / 100);
    const qint64 whole = (cents < 0 ? -cents : cents) / 100;
    const int fraction = int((cents < 0 ? -cents : cents) % 100);
    QString words = numberInWords(whole);
    if (cents < 0)
        words = QStringLiteral("MENOS ") + words;
    // "UN MILLÓN DE PESOS", but "UN MILLÓN CIEN PESOS".
    const bool exactMillions = whole >= 1'000'000 && whole % 1'000'000 == 0;
    const bool one = whole == 1;
    QString noun;
    QString suffix;
    if (currency == QLatin1String("MXN")) {
        noun = one ? QStringLiteral("PESO") : QStringLiteral("PESOS");
        suffix = QStringLiteral("M.N.");
    } else if (currency == QLatin1String("USD")) {
        noun = one ? QStringLiteral("DÓLAR") : QStringLiteral("DÓLARES");
        suffix = QStringLiteral("USD");
    } else if (currency == QLatin1String("EUR")) {
        noun = one ? QStringLiteral("EURO") : QStringLiteral("EUROS");
        suffix = QStringLiteral("EUR");
    } else {
        noun = currency;
    }
    QString text = words + (exactMillions ? QStringLiteral(" DE ") : QStringLiteral(" ")) + noun;
    text += QStringLiteral(" %1/100").arg(fraction, 2, 10, QLatin1Char('0'));
    if (!suffix.isEmpty())
        text += u' ' + suffix;
    return text;
}

} // namespace zentaro
