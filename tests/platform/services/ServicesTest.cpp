#include "support/SessionFixture.h"

#include "platform/core/Error.h"

#include "platform/services/Environment.h"
#include "platform/services/QueryFilter.h"
#include "platform/services/Receivables.h"
#include "platform/services/Utilities.h"

using namespace zentaro;

namespace {

class ServicesTest : public test::SessionTest
{
protected:
    void seed() override
    {
        exec(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) VALUES ('S01', 'Matriz', 'AC')"));
        exec(QStringLiteral("INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) VALUES ('S09', 'Cerrada', 'BA')"));
        exec(QStringLiteral("INSERT INTO Usuario (Us_Cve_Usuario, Sc_Cve_Sucursal, Al_Cve_Almacen) VALUES ('ADMIN', '', '')"));
        exec(QStringLiteral("INSERT INTO Usuario (Us_Cve_Usuario, Sc_Cve_Sucursal, Al_Cve_Almacen) VALUES ('CAJA', 'S01', 'A01')"));
        exec(QStringLiteral("INSERT INTO Usuario_Permiso VALUES ('ADMIN', '*', '*')"));
        exec(QStringLiteral("INSERT INTO Usuario_Permiso VALUES ('CAJA', 'QX417', 'KEYF2')"));
        exec(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor) VALUES ('FIN_MONEDA_LOCAL', 'MXN')"));
        exec(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor) VALUES ('VEN_SUGERIR_VENDEDOR', 'dos')"));
        exec(QStringLiteral("INSERT INTO Variable_Configuracion (Vc_Nombre, Vc_Valor) VALUES ('FAC_ENVIAR_DOCUMENTO_EMAIL', 'SI')"));
        exec(QStringLiteral("INSERT INTO Tipo_Cambio VALUES ('USD', '2026-12-01', 17.25)"));
        exec(QStringLiteral("INSERT INTO Tipo_Cambio VALUES ('USD', '2026-12-04', 17.5)"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('C30', 'Crédito', '02', 30, 'AC')"));
        exec(QStringLiteral("INSERT INTO Condicion_Venta VALUES ('CONT', 'Contado', '01', 0, 'AC')"));
        exec(QStringLiteral("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Limite_Credito, Cv_Cve_Condicion_Venta, Es_Cve_Estado) "
                            "VALUES ('C1', 1000, 'C30', 'AC')"));
        exec(QStringLiteral("INSERT INTO Cuenta_Por_Cobrar (Cc_Folio, Cl_Cve_Cliente, Cc_Saldo, Es_Cve_Estado) VALUES ('R1', 'C1', 250.10, 'AC')"));
        exec(QStringLiteral("INSERT INTO Cuenta_Por_Cobrar (Cc_Folio, Cl_Cve_Cliente, Cc_Saldo, Es_Cve_Estado) VALUES ('R2', 'C1', 999, 'CA')"));
        exec(QStringLiteral("INSERT INTO Periodo_Operativo VALUES ('VENTAS', '2026-12-01', '2026-12-31', 'SI')"));
        exec(QStringLiteral("INSERT INTO Periodo_Operativo VALUES ('VENTAS', '2026-11-01', '2026-11-30', 'NO')"));
    }
    Environment environment;
    Utilities utilities;
};

TEST_P(ServicesTest, LookupsSkipWithdrawnRowsAndRefuseForeignNames)
{
    const QString sucursal = QStringLiteral("Sucursal"), key = QStringLiteral("Sc_Cve_Sucursal"),
                  description = QStringLiteral("Sc_Descripcion"), ba = QStringLiteral("BA");
    EXPECT_EQ(utilities.LookupField(sucursal, key, QStringLiteral("S01"), description, 0, {}, {}, ba), QStringLiteral("Matriz"));
    EXPECT_EQ(utilities.LookupField(sucursal, key, QStringLiteral("S09"), description, 0, {}, {}, ba), QString());
    EXPECT_EQ(utilities.LookupField(sucursal, key, QStringLiteral("S09"), description, 0, {}, {}, {}), QStringLiteral("Cerrada"));
    EXPECT_EQ(utilities.LookupField(sucursal, key, QStringLiteral("S01"), description, 0, QStringLiteral("Es_Cve_Estado"),
                                    QStringLiteral("BA"), {}), QString());
    EXPECT_THROW(utilities.LookupField(QStringLiteral("Sucursal; DROP"), key, {}, description, 0, {}, {}, {}), Error);
    EXPECT_THROW(utilities.LookupField(sucursal, QStringLiteral("1=1 OR x"), {}, description, 0, {}, {}, {}), Error);
}

TEST_P(ServicesTest, ConfigurationPermissionsAndBindings)
{
    EXPECT_EQ(environment.GetVariable(QStringLiteral("FIN_MONEDA_LOCAL"), 0, {}, {}), QStringLiteral("MXN"));
    EXPECT_EQ(environment.GetVariable(QStringLiteral("NO_EXISTE"), 0, QStringLiteral("N"), QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(environment.GetVariable(QStringLiteral("VEN_SUGERIR_VENDEDOR"), 0, QStringLiteral("N"), QStringLiteral("0")),
              QStringLiteral("0"));
    EXPECT_EQ(environment.GetVariable(QStringLiteral("FAC_ENVIAR_DOCUMENTO_EMAIL"), 0, QStringLiteral("B"), QStringLiteral("0")),
              QStringLiteral("1"));
    EXPECT_TRUE(environment.HasPermission(QStringLiteral("QX417"), QStringLiteral("CHFECHA"), QStringLiteral("No disponible")));
    EXPECT_EQ(environment.UserBranch(), QString());

    Platform::instance().setUserCode(QStringLiteral("CAJA"));
    EXPECT_TRUE(environment.HasPermission(QStringLiteral("QX417"), QStringLiteral("KEYF2"), {}));
    EXPECT_FALSE(environment.HasPermission(QStringLiteral("QX417"), QStringLiteral("CHFECHA"), {}));
    EXPECT_FALSE(environment.HasPermission(QStringLiteral("QX999"), QStringLiteral("KEYF2"), {}));
    EXPECT_EQ(environment.UserBranch(), QStringLiteral("S01"));
    EXPECT_EQ(environment.UserWarehouse(), QStringLiteral("A01"));

    environment.ShowMessage(QStringLiteral("Hola"), 48, QStringLiteral("Zentaro"), nullptr, QStringLiteral("QX417"),
                            QStringLiteral("ERR-ID:7500037"));
    ASSERT_EQ(presenter->messages.size(), 1);
    EXPECT_EQ(presenter->messages[0].id, QStringLiteral("ERR-ID:7500037"));
}

TEST_P(ServicesTest, RatesPeriodsConditionsAndCredit)
{
    EXPECT_DOUBLE_EQ(utilities.GetExchangeRate(QStringLiteral("MXN"), QDate(2026, 12, 2)), 1.0);
    EXPECT_DOUBLE_EQ(utilities.GetExchangeRate(QStringLiteral("USD"), QDate(2026, 12, 3)), 17.25);
    EXPECT_DOUBLE_EQ(utilities.GetExchangeRate(QStringLiteral("USD"), QDate(2026, 12, 6)), 17.5);
    EXPECT_DOUBLE_EQ(utilities.GetExchangeRate(QStringLiteral("USD"), QDate(2026, 11, 30)), 0.0);
    EXPECT_FALSE(utilities.LastError().isEmpty());

    EXPECT_TRUE(utilities.IsPeriodOpen(QDate(2026, 12, 31), QStringLiteral("VENTAS"), 0));
    EXPECT_FALSE(utilities.IsPeriodOpen(QDate(2026, 11, 15), QStringLiteral("VENTAS"), 0));
    EXPECT_FALSE(utilities.IsPeriodOpen(QDate(2027, 1, 1), QStringLiteral("VENTAS"), 0));

    EXPECT_EQ(utilities.DefaultSaleCondition(QStringLiteral("C1"), QStringLiteral("S01"), true), QStringLiteral("C30"));
    EXPECT_EQ(utilities.DefaultSaleCondition(QStringLiteral("C1"), QStringLiteral("S01"), false), QStringLiteral("CONT"));
    EXPECT_TRUE(utilities.LastError().isEmpty());

    EXPECT_DOUBLE_EQ(Receivables().AvailableCredit(QStringLiteral("C1"), 0), 749.90);

    Platform::instance().queueAnswer(QStringLiteral("filter"), QString());
    EXPECT_EQ(QueryFilter().GetCondition(0), QString());               // a cancelled filter loads nothing
    EXPECT_EQ(QueryFilter().GetCondition(0), QueryFilter::noCriteria());   // no answer queued: the default
}

ZENTARO_ON_BOTH_ENGINES(ServicesTest);

} // namespace
