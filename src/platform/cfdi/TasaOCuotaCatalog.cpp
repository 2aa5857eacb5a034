#include "platform/cfdi/TasaOCuotaCatalog.h"

namespace zentaro::cfdi {

namespace {

bool oneOf(const ExactDecimal &value, std::initializer_list<const char16_t *> rates)
{
    for (const char16_t *rate : rates)
        if (value == *ExactDecimal::parse(QStringView(rate)))
            return true;
    return false;
}

} // namespace

bool isCataloguedTasaOCuota(const QString &impuesto, const QString &tipoFactor, const ExactDecimal &value)
{
    if (impuesto == u"002" && tipoFactor == u"Tasa")
        return oneOf(value, {u"0.000000", u"0.080000", u"0.160000"});
    if (impuesto == u"003" && tipoFactor == u"Tasa")
        return oneOf(value, {u"0.000000", u"0.030000", u"0.060000", u"0.070000", u"0.080000", u"0.090000",
                             u"0.250000", u"0.265000", u"0.300000", u"0.304000", u"0.500000", u"0.530000",
                             u"1.600000"});
    if (impuesto == u"003" && tipoFactor == u"Cuota")
        return !(value < ExactDecimal()) && !(*ExactDecimal::parse(u"59.144900") < value);
    // ISR is withheld, never transferred; IVA has no amount per unit.
    return false;
}

} // namespace zentaro::cfdi
