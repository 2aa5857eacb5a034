#include "platform/db/demo/Parts.h"
#include "platform/db/demo/RowWriter.h"

#include "platform/cfdi/TestCertificate.h"
#include "platform/core/StoredSecret.h"
#include "platform/db/Connection.h"

#include <QDir>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>

namespace zentaro::demo::detail {

namespace {

QString S(const char16_t *text = u"") { return QString::fromUtf16(text); }

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *name : list)
        out << QString::fromLatin1(name);
    return out;
}

// Writes the given rows of one small catalogue.
void table(Connection &connection, const char *name, std::initializer_list<const char *> columns,
           const QList<QVariantList> &rows)
{
    RowWriter writer(connection, QString::fromLatin1(name), names(columns));
    for (const QVariantList &row : rows)
        writer.add(row);
    writer.flush();
}

const QString AC = QStringLiteral("AC");
const QString BA = QStringLiteral("BA");

// The demo has no mail server: its mails land as .eml files in a folder next to the demo
// database, where any mail reader opens them.
QString demoOutbox()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("correo-saliente"));
}

void writeOrganisation(Connection &c)
{
    table(c, "Sucursal", {"Sc_Cve_Sucursal", "Sc_Descripcion", "Sc_Codigo_Postal", "Sc_Perfil_Salida", "Es_Cve_Estado"},
          {{S(u"S01"), S(u"Matriz Guadalajara"), S(u"44100"), S(u"FACTURA"), AC},
           {S(u"S02"), S(u"Sucursal Zapopan"), S(u"45010"), S(u"FACTURA"), AC},
           {S(u"S09"), S(u"Sucursal Tlaquepaque (cerrada)"), S(u"45500"), S(u"FACTURA"), BA}});
    table(c, "Almacen", {"Al_Cve_Almacen", "Al_Descripcion", "Sc_Cve_Sucursal", "Es_Cve_Estado"},
          {{S(u"A01"), S(u"Almacén general Matriz"), S(u"S01"), AC},
           {S(u"A02"), S(u"Bodega de mayoreo Matriz"), S(u"S01"), AC},
           {S(u"A03"), S(u"Almacén Zapopan"), S(u"S02"), AC},
           {S(u"A09"), S(u"Almacén Tlaquepaque (cerrado)"), S(u"S09"), BA}});
    table(c, "Segmento", {"Sg_Cve_Segmento", "Sg_Descripcion", "Es_Cve_Estado"},
          {{S(u"MAYOREO"), S(u"Mayoreo"), AC}, {S(u"MENUDEO"), S(u"Menudeo"), AC},
           {S(u"RESTAURANT"), S(u"Restaurantes y cafeterías"), AC}, {S(u"EXPORTA"), S(u"Comercio exterior"), AC},
           {S(u"GOBIERNO"), S(u"Gobierno (ya no se atiende)"), BA}});
    table(c, "Ruta", {"Rt_Cve_Ruta", "Rt_Descripcion", "Es_Cve_Estado"},
          {{S(u"R01"), S(u"Centro Guadalajara"), AC}, {S(u"R02"), S(u"Zapopan norte"), AC},
           {S(u"R03"), S(u"Tlaquepaque - Tonalá"), AC}, {S(u"R09"), S(u"Ruta foránea (suspendida)"), BA}});
    table(c, "Vendedor", {"Vn_Cve_Vendedor", "Vn_Descripcion", "Es_Cve_Estado"},
          {{S(u"V01"), S(u"Ana Sofía Martínez Ruiz"), AC}, {S(u"V02"), S(u"Luis Alberto Gómez Pérez"), AC},
           {S(u"V03"), S(u"Karla Patricia Nuño Ibarra"), AC}, {S(u"V09"), S(u"Roberto Díaz Castro"), BA}});
    table(c, "Moneda", {"Mn_Cve_Moneda", "Mn_Descripcion", "Mn_Decimales", "Es_Cve_Estado"},
          {{S(u"MXN"), S(u"Peso mexicano"), 2, AC}, {S(u"USD"), S(u"Dólar americano"), 2, AC},
           {S(u"EUR"), S(u"Euro"), 2, BA}});
    table(c, "Condicion_Venta", {"Cv_Cve_Condicion_Venta", "Cv_Descripcion", "Cv_Tipo_Condicion", "Cv_Dias", "Es_Cve_Estado"},
          {{S(u"CONT"), S(u"Contado"), S(u"01"), 0, AC}, {S(u"EFEC"), S(u"Contado en efectivo"), S(u"01"), 0, AC},
           {S(u"C30"), S(u"Crédito 30 días"), S(u"02"), 30, AC}, {S(u"C15"), S(u"Crédito 15 días"), S(u"02"), 15, AC},
           {S(u"C60"), S(u"Crédito 60 días (suspendido)"), S(u"02"), 60, BA}});
}

void writeCustomers(Connection &c)
{
    struct Customer
    {
        const char16_t *key, *name, *business, *address, *rfc, *segment, *route;
        int days;
        qint64 limitPesos;
        const char16_t *salesperson, *branch, *condition, *regime, *postalCode, *use;
        const char16_t *state;
    };
    const Customer customers[] = {
        {u"PUBLICO", u"PUBLICO EN GENERAL", u"PUBLICO EN GENERAL", u"", u"XAXX010101000", u"MENUDEO", u"R01",
         0, 0, u"V01", u"S01", u"CONT", u"616", u"44100", u"S01", u"AC"},
        {u"C-0001", u"Abarrotes La Providencia", u"ABARROTES LA PROVIDENCIA", u"Av. Federalismo Norte 1250, Col. Santa Elena, Guadalajara, Jal.",
         u"APR980312K41", u"MENUDEO", u"R01", 0, 0, u"V01", u"S01", u"CONT", u"601", u"44270", u"G03", u"AC"},
        {u"C-0002", u"Ferretería El Tornillo", u"FERRETERIA EL TORNILLO", u"Calz. Independencia Sur 845, Col. Centro, Guadalajara, Jal.",
         u"FTO010522DH3", u"MAYOREO", u"R01", 30, 50000, u"V02", u"S01", u"C30", u"601", u"44100", u"G03", u"AC"},
        {u"C-0003", u"María Guadalupe Hernández López", u"MARIA GUADALUPE HERNANDEZ LOPEZ", u"Calle Hidalgo 312, Col. Centro, Tlaquepaque, Jal.",
         u"HELG850214MJ7", u"MENUDEO", u"R03", 15, 15000, u"V01", u"S01", u"C15", u"612", u"45500", u"G03", u"AC"},
        {u"C-0004", u"Comercializadora del Bajío", u"COMERCIALIZADORA DEL BAJIO", u"Blvd. Aeropuerto 2200, Col. Las Pintas, El Salto, Jal.",
         u"CBA120305TZ2", u"EXPORTA", u"R03", 0, 0, u"V02", u"S01", u"CONT", u"601", u"45690", u"G03", u"AC"},
        {u"C-0005", u"Juan Carlos Ramírez Torres", u"JUAN CARLOS RAMIREZ TORRES", u"Av. Vallarta 6503, Col. Ciudad Granja, Zapopan, Jal.",
         u"RATJ900723AB5", u"MENUDEO", u"R02", 30, 25000, u"V03", u"S02", u"C30", u"626", u"45010", u"G03", u"AC"},
        {u"C-0006", u"Distribuidora Zapopan", u"DISTRIBUIDORA ZAPOPAN", u"Av. Laureles 1020, Col. El Vigía, Zapopan, Jal.",
         u"DZA150610QP8", u"MAYOREO", u"R02", 0, 0, u"V03", u"S02", u"CONT", u"601", u"45140", u"G03", u"AC"},
        {u"C-0007", u"Restaurante Los Arcos", u"RESTAURANTE LOS ARCOS", u"Av. Patria 1891, Col. Puerta de Hierro, Zapopan, Jal.",
         u"RAR080918N21", u"RESTAURANT", u"R02", 15, 30000, u"V03", u"S02", u"C15", u"601", u"45116", u"G03", u"AC"},
        {u"C-0009", u"Papelería El Estudiante", u"PAPELERIA EL ESTUDIANTE", u"Calle Morelos 77, Col. Centro, Guadalajara, Jal.",
         u"PES030227LM4", u"MENUDEO", u"R01", 0, 0, u"V01", u"S01", u"CONT", u"601", u"44100", u"G03", u"BA"},
    };
    RowWriter writer(c, QStringLiteral("Cliente"),
                     names({"Cl_Cve_Cliente", "Cl_Descripcion", "Cl_Razon_Social_1", "Cl_Direccion_1", "Cl_R_F_C",
                            "Sg_Cve_Segmento", "Rt_Cve_Ruta", "Cl_Dias_Credito", "Cl_Limite_Credito", "Vn_Cve_Vendedor",
                            "Sc_Cve_Sucursal", "Cv_Cve_Condicion_Venta", "Cl_Regimen_Fiscal", "Cl_Codigo_Postal",
                            "Cl_Uso_CFDI", "Cl_Perfil_Salida", "Es_Cve_Estado"}));
    for (const Customer &k : customers)
        writer.add({S(k.key), S(k.name), S(k.business), S(k.address), S(k.rfc), S(k.segment), S(k.route), k.days,
                    decimalValue(Decimal::fromInt(k.limitPesos)), S(k.salesperson), S(k.branch), S(k.condition),
                    S(k.regime), S(k.postalCode), S(k.use), S(u"FACTURA"), S(k.state)});
    writer.flush();

    table(c, "Cliente_Email", {"Cl_Cve_Cliente", "Ce_ID", "Ce_Email"},
          {{S(u"C-0001"), 1, S(u"compras@abarrotes-providencia.example.mx")},
           {S(u"C-0002"), 1, S(u"facturas@ferreteria-tornillo.example.mx")},
           {S(u"C-0002"), 2, S(u"cuentasporpagar@ferreteria-tornillo.example.mx")},
           {S(u"C-0003"), 1, S(u"guadalupe.hernandez@example.com")},
           {S(u"C-0004"), 1, S(u"recepcion.cfdi@comercializadora-bajio.example.mx")},
           {S(u"C-0005"), 1, S(u"jc.ramirez@example.com")},
           {S(u"C-0007"), 1, S(u"administracion@losarcos.example.mx")}});
    table(c, "Cliente_Cuenta_Bancaria", {"Cl_Cve_Cliente", "Cb_ID", "Cb_Banco", "Cb_Cuenta", "Cb_Forma_Pago", "Es_Cve_Estado"},
          {{S(u"C-0002"), 1, S(u"BBVA México"), S(u"012320001234567891"), S(u"03"), AC},
           {S(u"C-0002"), 2, S(u"Banorte"), S(u"072320009876543210"), S(u"03"), BA},
           {S(u"C-0004"), 1, S(u"Santander"), S(u"014320655501234567"), S(u"03"), AC},
           {S(u"C-0005"), 1, S(u"Banamex"), S(u"4152313800112233"), S(u"04"), AC},
           {S(u"C-0007"), 1, S(u"HSBC"), S(u"021320040512345678"), S(u"03"), AC}});
}

void writeProducts(Connection &c)
{
    table(c, "Unidad", {"Un_Cve_Unidad", "Un_Descripcion", "Un_Clave_SAT", "Es_Cve_Estado"},
          {{S(u"ACT"), S(u"Actividad"), S(u"ACT"), AC}, {S(u"PZA"), S(u"Pieza"), S(u"H87"), AC},
           {S(u"KG"), S(u"Kilogramo"), S(u"KGM"), AC}, {S(u"LT"), S(u"Litro"), S(u"LTR"), AC},
           {S(u"CJA"), S(u"Caja"), S(u"XBX"), AC}, {S(u"DOC"), S(u"Docena"), S(u"DZN"), BA}});
    table(c, "Producto", {"Pr_Cve_Producto", "Pr_Descripcion", "Pr_Unidad_Venta", "Pr_Equivalencia_Producto",
                          "Pr_Clave_Prod_Serv", "Es_Cve_Estado"},
          {{S(u"FACGLOBAL"), S(u"Venta"), S(u"ACT"), S(), S(u"01010101"), AC},
           {S(u"P-BASE"), S(u"Aceite vegetal comestible 1 L"), S(u"LT"), S(), S(u"50151513"), AC},
           {S(u"P-EQUIV"), S(u"Aceite vegetal comestible caja 12 x 1 L"), S(u"CJA"), S(u"P-BASE"), S(u"50151513"), AC},
           {S(u"P-0001"), S(u"Arroz súper extra 1 kg"), S(u"KG"), S(), S(u"50221200"), AC},
           {S(u"P-0002"), S(u"Frijol negro 1 kg"), S(u"KG"), S(), S(u"50221100"), AC},
           {S(u"P-0003"), S(u"Papas fritas sal de mar 45 g"), S(u"PZA"), S(), S(u"50192100"), AC},
           {S(u"P-0004"), S(u"Galletas con chispas de chocolate 300 g"), S(u"PZA"), S(), S(u"50181900"), AC},
           {S(u"P-0005"), S(u"Desarmador plano 1/4 in"), S(u"PZA"), S(), S(u"27111701"), AC},
           {S(u"P-0006"), S(u"Libro de texto de matemáticas"), S(u"PZA"), S(), S(u"55101509"), AC},
           {S(u"P-0007"), S(u"Agua purificada garrafón 20 L"), S(u"PZA"), S(), S(u"50202301"), AC},
           {S(u"P-0099"), S(u"Pila alcalina AA (descontinuada)"), S(u"PZA"), S(), S(u"26111702"), BA}});
    table(c, "Impuesto", {"Im_Cve_Impuesto", "Im_Descripcion", "Im_Cuenta_Contable", "Im_Impuesto_SAT", "Im_Tipo_Factor",
                          "Im_Tasa", "Es_Cve_Estado"},
          {{S(u"IVA16"), S(u"IVA 16 %"), S(u"2110-001"), S(u"002"), S(u"Tasa"), decimalValue(rate(u"0.16")), AC},
           {S(u"IVA0"), S(u"IVA tasa 0 %"), S(u"2110-002"), S(u"002"), S(u"Tasa"), decimalValue(rate(u"0")), AC},
           {S(u"IVAEX"), S(u"IVA exento"), S(u"2110-003"), S(u"002"), S(u"Exento"), decimalValue(rate(u"0")), AC},
           {S(u"IEPS8"), S(u"IEPS alimentos 8 %"), S(u"2120-001"), S(u"003"), S(u"Tasa"), decimalValue(rate(u"0.08")), AC}});
}

void writeExchangeRates(Connection &c, quint32 seed, const QDate &today)
{
    QRandomGenerator rng = generator(seed, 1);
    // A walk around 18.50 pesos per dollar, kept inside 17.20 .. 20.80.
    qint64 tenThousandths = 185'000 + between(rng, -6'000, 6'000);
    RowWriter writer(c, QStringLiteral("Tipo_Cambio"), names({"Mn_Cve_Moneda", "Tc_Fecha", "Tc_Tipo_Cambio"}));
    for (int back = 59; back >= 0; --back) {
        tenThousandths = std::clamp<qint64>(tenThousandths + between(rng, -900, 900), 172'000, 208'000);
        writer.add({S(u"USD"), dateValue(today.addDays(-back)), decimalValue(Decimal::fromUnits(tenThousandths * 100))});
    }
    writer.flush();
}

void writeUsersAndSettings(Connection &c, const QDate &today)
{
    table(c, "Usuario", {"Us_Cve_Usuario", "Us_Nombre", "Sc_Cve_Sucursal", "Al_Cve_Almacen", "Es_Cve_Estado"},
          {{S(u"ADMIN"), S(u"Administrador del sistema"), S(), S(), AC},
           {S(u"CAJERO1"), S(u"Cajero Zapopan"), S(u"S02"), S(u"A03"), AC}});
    table(c, "Usuario_Permiso", {"Us_Cve_Usuario", "Pe_Modulo", "Pe_Clave"},
          {{S(u"ADMIN"), S(u"*"), S(u"*")}, {S(u"CAJERO1"), S(u"QX417"), S(u"KEYF2")}});

    table(c, "Variable_Configuracion", {"Vc_Nombre", "Vc_Valor", "Vc_Tipo", "Vc_Descripcion"},
          {{S(u"FTO_SUCURSAL"), S(u"5|U|A-Z0-9"), S(u"C"), S(u"Formato de la clave de sucursal")},
           {S(u"FTO_ALMACEN"), S(u"5|U|A-Z0-9"), S(u"C"), S(u"Formato de la clave de almacén")},
           {S(u"FTO_CLIENTE"), S(u"10|U|A-Z0-9-"), S(u"C"), S(u"Formato de la clave de cliente")},
           {S(u"FTO_VENDEDOR"), S(u"5|U|A-Z0-9"), S(u"C"), S(u"Formato de la clave de vendedor")},
           {S(u"FTO_CONDICION_VENTA"), S(u"6|U|A-Z0-9"), S(u"C"), S(u"Formato de la clave de condición de venta")},
           {S(u"FAC_FACTURA_GLOBAL_PRODUCTO"), S(u"FACGLOBAL"), S(u"C"), S(u"Producto de los conceptos de la factura global")},
           {S(u"FIN_MONEDA_LOCAL"), S(u"MXN"), S(u"C"), S(u"Moneda local")},
           {S(u"VEN_SUGERIR_VENDEDOR"), S(u"1"), S(u"L"), S(u"Sugerir el vendedor del cliente")},
           {S(u"VEN_SUCURSAL_DEFAULT"), S(u"S01"), S(u"C"), S(u"Sucursal propuesta")},
           {S(u"VEN_ALMACEN_DEFAULT"), S(u"A01"), S(u"C"), S(u"Almacén propuesto")},
           {S(u"FAC_ENVIAR_DOCUMENTO_EMAIL"), S(u"1"), S(u"L"), S(u"Enviar la factura por correo al timbrarla")},
           {S(u"GEN_VALIDAR_PERIODO_OPERATIVO"), S(u"1"), S(u"L"), S(u"Rechazar documentos fuera de un periodo abierto")},
           {S(u"MAIL_SMTP_URL"), S(u"file:") + demoOutbox(), S(u"C"),
            S(u"Servidor de correo saliente: smtps://servidor:465, smtp://servidor:587 o file:/carpeta de correo saliente")},
           {S(u"MAIL_REMITENTE"), S(u"facturacion@example.mx"), S(u"C"), S(u"Remitente de los correos")},
           {S(u"MAIL_USUARIO"), S(), S(u"C"), S(u"Usuario del servidor de correo")},
           {S(u"MAIL_CLAVE"), S(), S(u"C"), S(u"Contraseña del servidor de correo, cifrada (zentaro secret)")},
           {S(u"MAIL_STARTTLS"), S(u"1"), S(u"L"), S(u"Exigir STARTTLS en smtp:// (0: enviar sin cifrar)")},
           {S(u"MAIL_ARCHIVO"), S(u"contabilidad@example.mx"), S(u"C"),
            S(u"Copia de archivo de cada factura enviada; la recibe sola la factura sin correo del cliente")},
           {S(u"CFDI_PAC"), S(u"SANDBOX"), S(u"C"), S(u"Proveedor de certificación (SANDBOX: pruebas sin timbre real)")},
           {S(u"CFDI_PERIODICIDAD"), S(u"01"), S(u"C"),
            S(u"Periodicidad de la factura global: 01 diaria, 02 semanal, 03 quincenal, 04 mensual, 05 bimestral "
              u"(solo régimen 621); CFDI_PERIODICIDAD_<sucursal> la fija para una sucursal")}});

    // The sales module's monthly periods: this month and the previous one open.
    const QDate month(today.year(), today.month(), 1);
    QList<QVariantList> periods;
    for (int back = 5; back >= 0; --back) {
        const QDate start = month.addMonths(-back);
        periods.append({S(u"VENTAS"), dateValue(start), dateValue(start.addMonths(1).addDays(-1)),
                        back <= 1 ? S(u"SI") : S(u"NO")});
    }
    table(c, "Periodo_Operativo", {"Po_Modulo", "Po_Fecha_Inicio", "Po_Fecha_Final", "Po_Abierto"}, periods);

    table(c, "Campo_Extra", {"Ce_Tabla", "Ce_Campo", "Ce_Etiqueta", "Ce_Orden"},
          {{S(u"Factura"), S(u"ORDEN_COMPRA"), S(u"Orden de compra"), 1},
           {S(u"Factura"), S(u"OBSERVACION"), S(u"Observaciones"), 2}});
}

void writeIssuer(Connection &c, const QDate &today)
{
    const QString rfc = QStringLiteral("EKU9003173C9");
    const QString name = QStringLiteral("ESCUELA KEMPER URGATE");
    const QString password = QStringLiteral("12345678a");
    const cfdi::Csd csd = cfdi::generateTestCsd(rfc, name, password,
                                                QDateTime(today.addYears(-1), QTime(0, 0), QTimeZone::utc()),
                                                QDateTime(today.addYears(2), QTime(23, 59, 59), QTimeZone::utc()));
    c.run(QStringLiteral("INSERT INTO Emisor (Em_R_F_C, Em_Razon_Social, Em_Regimen_Fiscal, Em_Certificado, Em_Llave, "
                         "Em_Clave) VALUES (?, ?, ?, ?, ?, ?)"),
          {rfc, name, S(u"601"), QString::fromLatin1(csd.certificateDer.toBase64()),
           QString::fromLatin1(csd.privateKeyDer.toBase64()), sealSecret(csd.password)});
}

} // namespace

void writeCatalogues(Connection &connection, quint32 seed, const QDate &today)
{
    writeOrganisation(connection);
    writeCustomers(connection);
    writeProducts(connection);
    writeExchangeRates(connection, seed, today);
    writeUsersAndSettings(connection, today);
    writeIssuer(connection, today);
}

} // namespace zentaro::demo::detail
