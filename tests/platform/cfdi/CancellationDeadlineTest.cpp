#include "platform/cfdi/CancellationDeadline.h"
#include "platform/core/Error.h"

#include <gtest/gtest.h>

namespace zentaro::cfdi {
namespace {

// The last day of the month of the issuer's annual return for the year of issue.
TEST(CancellationDeadline, EndsWithTheMonthOfTheIssuersAnnualReturn)
{
    const QString company = QStringLiteral("EKU9003173C9");     // 12 characters: a legal entity
    const QString person = QStringLiteral("CACX7605101P8");     // 13 characters: an individual
    const QString document = QStringLiteral("La factura A-1");
    const struct
    {
        QString rfc;
        const char *regimen;
        QDate issued;
        QDate deadline;
    } cases[] = {
        {company, "601", QDate(2025, 1, 2), QDate(2026, 3, 31)},
        {company, "601", QDate(2025, 12, 31), QDate(2026, 3, 31)},
        {company, "626", QDate(2025, 6, 30), QDate(2026, 3, 31)},     // RESICO, legal entity
        {company, "603", QDate(2025, 6, 30), QDate(2026, 2, 28)},     // non-profit: February
        {company, "603", QDate(2027, 6, 30), QDate(2028, 2, 29)},     // a leap February
        {person, "612", QDate(2025, 6, 30), QDate(2026, 4, 30)},
        {person, "626", QDate(2025, 12, 31), QDate(2026, 4, 30)},     // RESICO, individual
        {person, "621", QDate(2025, 1, 1), QDate(2026, 4, 30)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.rfc + u' ' + QLatin1String(c.regimen) + u' ' + c.issued.toString(Qt::ISODate)).toStdString());
        EXPECT_EQ(cancellationDeadline(c.rfc, QLatin1String(c.regimen), c.issued), c.deadline);
        EXPECT_EQ(cancellationDeadlineRefusal(document, c.rfc, QLatin1String(c.regimen), c.issued, c.deadline), QString());
        EXPECT_TRUE(cancellationDeadlineRefusal(document, c.rfc, QLatin1String(c.regimen), c.issued, c.deadline.addDays(1))
                        .startsWith(QStringLiteral("La factura A-1, emitida el %1, ya no puede cancelarse: el plazo del "
                                                   "SAT venció el %2")
                                        .arg(c.issued.toString(QStringLiteral("dd/MM/yyyy")),
                                             c.deadline.toString(QStringLiteral("dd/MM/yyyy")))));
    }
}

TEST(CancellationDeadline, RefusesAnIssuerItCannotPlaceInSpanish)
{
    EXPECT_THROW(cancellationDeadline(QStringLiteral("ABC"), QStringLiteral("601"), QDate(2025, 1, 1)), Error);
    EXPECT_THROW(cancellationDeadline(QStringLiteral("EKU9003173C9"), QStringLiteral("601"), QDate()), Error);
}

} // namespace
} // namespace zentaro::cfdi
