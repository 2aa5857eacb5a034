#include "platform/cfdi/AmountText.h"

#include "platform/cfdi/ExactDecimal.h"
#include "platform/core/Error.h"

#include <array>

namespace zentaro::cfdi {

QString formatAmount(QStringView text, int decimals)
{
    const auto value = ExactDecimal::parse(text.trimmed());
    if (!value)
        throw Error(QStringLiteral("\"%1\" no es un importe válido").arg(text));
    return value->toFixed(decimals);
}

int currencyDecimals(QStringView moneda)
{
    // ISO 4217 minor units, which c_Moneda follows; every currency not listed uses 2.
    static const std::array<const char16_t *, 18> none = {u"BIF", u"CLP", u"DJF", u"GNF", u"ISK", u"JPY",
                                                          u"KMF", u"KRW", u"PYG", u"RWF", u"UGX", u"UYI",
                                                          u"VND", u"VUV", u"XAF", u"XOF", u"XPF", u"XXX"};
    static const std::array<const char16_t *, 7> three = {u"BHD", u"IQD", u"JOD", u"KWD", u"LYD", u"OMR", u"TND"};
    static const std::array<const char16_t *, 2> four = {u"CLF", u"UYW"};
    const auto in = [moneda](const auto &list) {
        for (const char16_t *code : list)
            if (moneda == QStringView(code))
                return true;
        return false;
    };
    if (in(none))
        return 0;
    if (in(three))
        return 3;
    if (in(four))
        return 4;
    return 2;
}

int writtenDecimals(QStringView text)
{
    const qsizetype point = text.indexOf(u'.');
    return point < 0 ? 0 : static_cast<int>(text.size() - point - 1);
}

} // namespace zentaro::cfdi
