#include "platform/db/Schema.h"

#include "platform/core/Decimal.h"
#include "platform/core/Error.h"
#include "platform/db/Connection.h"
#include "platform/db/SqlDialect.h"

namespace zentaro::schema {

namespace {

using T = Type;

Column key(const char *name, int size = 20) { return {name, T::Key, size}; }
Column text(const char *name, int size = 60) { return {name, T::Text, size}; }
Column money(const char *name) { return {name, T::Money}; }
Column state() { return {"Es_Cve_Estado", T::Key, 3}; }
Column lastChange() { return {"Oper_Ult_Modif", T::Key, 20}; }
Column lastChangeDate() { return {"Fecha_Ult_Modif", T::DateTime}; }

std::vector<Column> invoiceColumns()
{
    return {key("Fc_Folio"), key("Fc_Serie", 10), text("Fc_Factura", 30), {"Fc_Numero", T::Integer},
            {"Fc_Fecha", T::Date}, text("Fc_Tipo", 10), key("Sc_Cve_Sucursal"), key("Al_Cve_Almacen"),
            key("Cl_Cve_Cliente"), key("Vn_Cve_Vendedor"), key("Mn_Cve_Moneda", 5), {"Fc_Tipo_Cambio", T::Number},
            key("Fc_Condicion_Venta"), text("Fc_Credito", 2), {"Fc_Condicion_Tipo_02", T::Integer},
            text("Fc_Comentario", 250), text("Fc_Referencia", 60), {"Fc_Descuento_Global_Factor", T::Number},
            money("Fc_Precio_Lista_Importe"), money("Fc_Descuento_Importe"), money("Fc_Descuento_Global_Importe"),
            money("Fc_Precio_Descontado_Importe"), money("Fc_Impuesto_Importe"), money("Fc_Precio_Neto_Importe"),
            text("Fc_Motivo_Cancelacion", 2), text("Fc_Folio_Sustitucion", 40), state(), lastChange(),
            lastChangeDate(),
            // The global invoice's SAT periodicity (c_Periodicidad) when it was chosen for this
            // invoice; empty: the branch's configured one.
            {"Fc_Periodicidad", T::Text, 2, 3},
            // The stamped invoice this one replaces (SAT motive 01): its notes moved here in the
            // transaction that made this one, and go back if the SAT keeps the old one alive.
            {"Fc_Sustituye", T::Key, 20, 4}};
}

std::vector<Column> noteColumns()
{
    return {key("Vn_Folio"), {"Vn_Fecha", T::Date}, text("Vn_Referencia"), text("Vn_Credito", 2),
            key("Vn_Tabla", 30), key("Vn_Documento"), key("Vn_Cve_Vendedor"), key("Cl_Cve_Cliente"),
            key("Mn_Cve_Moneda", 5), key("Sc_Cve_Sucursal"), key("Al_Cve_Almacen"), key("Vn_Condicion_Venta"),
            text("Vn_Forma_Pago", 2), money("Vn_Precio_Lista_Importe"), money("Vn_Descuento_Importe"),
            money("Vn_Descuento_Global_Importe"), money("Vn_Precio_Descontado_Importe"),
            money("Vn_Impuesto_Importe"), money("Vn_Precio_Neto_Importe"), state(), key("Fc_Folio"),
            text("Fc_Factura", 30), lastChange(), lastChangeDate(),
            // The stamped invoice whose cancellation (motive 01 or 04) gave this note back: the
            // global that bills it again must relate that invoice's UUID.
            {"Vn_Factura_Cancelada", T::Key, 20, 3}};
}

const std::vector<Table> kTables = {
    {"Zentaro_Version", {{"Zv_Version", T::Integer}}, {}},
    // Catalogues
    {"Sucursal", {key("Sc_Cve_Sucursal"), text("Sc_Descripcion"), text("Sc_Codigo_Postal", 5),
                  text("Sc_Perfil_Salida", 20), state()}, {"Sc_Cve_Sucursal"}},
    {"Almacen", {key("Al_Cve_Almacen"), text("Al_Descripcion"), key("Sc_Cve_Sucursal"), state()}, {"Al_Cve_Almacen"}},
    {"Segmento", {key("Sg_Cve_Segmento"), text("Sg_Descripcion"), state()}, {"Sg_Cve_Segmento"}},
    {"Ruta", {key("Rt_Cve_Ruta"), text("Rt_Descripcion"), state()}, {"Rt_Cve_Ruta"}},
    {"Vendedor", {key("Vn_Cve_Vendedor"), text("Vn_Descripcion"), state()}, {"Vn_Cve_Vendedor"}},
    {"Moneda", {key("Mn_Cve_Moneda", 5), text("Mn_Descripcion"), {"Mn_Decimales", T::Integer}, state()},
     {"Mn_Cve_Moneda"}},
    {"Condicion_Venta", {key("Cv_Cve_Condicion_Venta"), text("Cv_Descripcion"), text("Cv_Tipo_Condicion", 2),
                         {"Cv_Dias", T::Integer}, state()}, {"Cv_Cve_Condicion_Venta"}},
    {"Cliente", {key("Cl_Cve_Cliente"), text("Cl_Descripcion"), text("Cl_Razon_Social_1", 250),
                 text("Cl_Direccion_1", 250), text("Cl_R_F_C", 13), key("Sg_Cve_Segmento"), key("Rt_Cve_Ruta"),
                 {"Cl_Dias_Credito", T::Integer}, money("Cl_Limite_Credito"), key("Vn_Cve_Vendedor"),
                 key("Sc_Cve_Sucursal"), key("Cv_Cve_Condicion_Venta"), text("Cl_Regimen_Fiscal", 3),
                 text("Cl_Codigo_Postal", 5), text("Cl_Uso_CFDI", 4), text("Cl_Perfil_Salida", 20), state()},
     {"Cl_Cve_Cliente"}},
    {"Cliente_Email", {key("Cl_Cve_Cliente"), {"Ce_ID", T::Integer}, text("Ce_Email", 120)},
     {"Cl_Cve_Cliente", "Ce_ID"}},
    {"Cliente_Cuenta_Bancaria", {key("Cl_Cve_Cliente"), {"Cb_ID", T::Integer}, text("Cb_Banco"),
                                 text("Cb_Cuenta", 30), text("Cb_Forma_Pago", 2), state()},
     {"Cl_Cve_Cliente", "Cb_ID"}},
    {"Unidad", {key("Un_Cve_Unidad", 10), text("Un_Descripcion"), text("Un_Clave_SAT", 3), state()}, {"Un_Cve_Unidad"}},
    {"Producto", {key("Pr_Cve_Producto"), text("Pr_Descripcion", 120), key("Pr_Unidad_Venta", 10),
                  key("Pr_Equivalencia_Producto"), text("Pr_Clave_Prod_Serv", 8), state()}, {"Pr_Cve_Producto"}},
    {"Impuesto", {key("Im_Cve_Impuesto", 10), text("Im_Descripcion"), text("Im_Cuenta_Contable", 30),
                  text("Im_Impuesto_SAT", 3), text("Im_Tipo_Factor", 6), {"Im_Tasa", T::Number}, state()},
     {"Im_Cve_Impuesto"}},
    // Sales notes
    {"Venta_Encabezado", noteColumns(), {"Vn_Folio"}},
    {"Venta", noteColumns(), {"Vn_Folio"}},
    {"Venta_Total_Impuesto", {key("Vn_Folio"), {"Vt_ID", T::Integer}, key("Vt_Impuesto", 10),
                              money("Vt_SubTotal_Importe"), money("Vt_Impuesto_Importe")}, {"Vn_Folio", "Vt_ID"}},
    // Invoices
    {"Factura", invoiceColumns(), {"Fc_Folio"}},
    {"Factura_Encabezado", invoiceColumns(), {"Fc_Folio"}},
    {"Factura_Linea", {key("Fc_Folio"), key("Fc_ID", 10), key("Pr_Cve_Producto"), key("Vn_Folio"),
                       text("Fl_Descripcion", 120), {"Fl_Cantidad", T::Number}, key("Un_Cve_Unidad", 10),
                       money("Fl_Precio_Lista_Importe"), money("Fl_Descuento_Importe"),
                       money("Fl_Precio_Descontado_Importe"), money("Fl_Impuesto_Importe"),
                       money("Fl_Precio_Neto_Importe")}, {"Fc_Folio", "Fc_ID"}},
    {"Factura_Impuesto", {key("Fc_Folio"), key("Fc_ID", 10), key("Fi_ID", 4), key("Im_Cve_Impuesto", 10),
                          text("Im_Cuenta_Contable", 30), money("Fi_Base"), money("Im_Importe")},
     {"Fc_Folio", "Fc_ID", "Fi_ID"}},
    {"Comprobante_Digital", {key("Cd_Tabla", 30), key("Cd_Documento"), text("Cd_UUID", 36),
                             {"Cd_Fecha_Timbrado", T::DateTime}, text("Cd_No_Certificado", 20),
                             {"Cd_XML", T::LongText}, text("Cd_Estado", 2), text("Cd_Motivo_Cancelacion", 2),
                             text("Cd_Folio_Sustitucion", 36),
                             // The PAC's certificate (base64 DER) that checks the timbre's SelloSAT.
                             {"Cd_Certificado_SAT", T::LongText, 0, 3},
                             // The cancellation at the SAT: when it was asked for (written before
                             // the PAC is called), its last answer and the acknowledgement.
                             {"Cd_Fecha_Solicitud", T::DateTime, 0, 3}, {"Cd_Respuesta_SAT", T::Text, 250, 3},
                             {"Cd_Acuse", T::LongText, 0, 3}}, {"Cd_Tabla", "Cd_Documento"}},
    // A sealed document on its way to the PAC, kept before the PAC is called: a retry after
    // a lost answer sends these very bytes again and so can never get a second UUID.
    {"Comprobante_Sellado", {key("Cs_Tabla", 30), key("Cs_Documento"), {"Cs_XML", T::LongText},
                             {"Cs_Fecha_Sellado", T::DateTime}, {"Cs_Intentos", T::Integer},
                             text("Cs_Ultimo_Error", 500)}, {"Cs_Tabla", "Cs_Documento"}, 3},
    {"Devolucion_Cliente", {key("Dc_Folio"), {"Dc_Fecha", T::Date}, text("Dc_Referencia"), key("Vn_Cve_Vendedor"),
                            key("Cl_Cve_Cliente"), key("Fc_Folio"), money("Dc_Precio_Lista_Importe"),
                            money("Dc_Descuento_Importe"), money("Dc_Descuento_Global_Importe"),
                            money("Dc_Impuesto_Importe"), money("Dc_Precio_Neto_Importe"), state()}, {"Dc_Folio"}},
    {"Cuenta_Por_Cobrar", {key("Cc_Folio"), key("Cl_Cve_Cliente"), key("Cc_Tabla", 30), key("Cc_Documento"),
                           {"Cc_Fecha", T::Date}, {"Cc_Vencimiento", T::Date}, money("Cc_Importe"),
                           money("Cc_Saldo"), state()}, {"Cc_Folio"}},
    // Lots
    {"Lote", {key("Lt_Cve_Lote"), key("Pr_Cve_Producto"), {"Lt_Fecha_Caducidad", T::Date}, text("Lt_Pedimento", 30),
              {"Lt_Fecha_Pedimento", T::Date}, text("Lt_Aduana")}, {"Pr_Cve_Producto", "Lt_Cve_Lote"}},
    {"Lote_Documento", {key("Ld_Tabla", 30), key("Ld_Documento"), {"Ld_ID", T::Integer}, key("Pr_Cve_Producto"),
                        key("Lt_Cve_Lote"), {"Lt_Cantidad_Control_1", T::Quantity},
                        {"Lt_Cantidad_Control_2", T::Quantity}}, {"Ld_Tabla", "Ld_Documento", "Ld_ID"}},
    // The suite's own
    {"Variable_Configuracion", {key("Vc_Nombre", 60), text("Vc_Valor", 250), text("Vc_Tipo", 1),
                                text("Vc_Descripcion", 250)}, {"Vc_Nombre"}},
    {"Usuario", {key("Us_Cve_Usuario"), text("Us_Nombre"), key("Sc_Cve_Sucursal"), key("Al_Cve_Almacen"), state()},
     {"Us_Cve_Usuario"}},
    {"Usuario_Permiso", {key("Us_Cve_Usuario"), key("Pe_Modulo", 10), key("Pe_Clave", 30)},
     {"Us_Cve_Usuario", "Pe_Modulo", "Pe_Clave"}},
    {"Periodo_Operativo", {key("Po_Modulo", 20), {"Po_Fecha_Inicio", T::Date}, {"Po_Fecha_Final", T::Date},
                           text("Po_Abierto", 2)}, {"Po_Modulo", "Po_Fecha_Inicio"}},
    {"Tipo_Cambio", {key("Mn_Cve_Moneda", 5), {"Tc_Fecha", T::Date}, {"Tc_Tipo_Cambio", T::Number}},
     {"Mn_Cve_Moneda", "Tc_Fecha"}},
    {"Serie", {key("Sr_Cve_Serie", 10), text("Sr_Descripcion"), key("Sc_Cve_Sucursal"), key("Sr_Tabla", 30),
               text("Sr_Electronica", 2), text("Sr_Default", 2), {"Sr_Siguiente_Numero", T::Integer}, state()},
     {"Sr_Cve_Serie"}},
    {"Bitacora_Documento", {{"Bd_ID", T::Integer}, key("Bd_Tabla", 30), key("Bd_Documento"),
                            {"Bd_Fecha", T::DateTime}, key("Bd_Usuario"), text("Bd_Accion", 30),
                            text("Bd_Detalle", 500)}, {"Bd_ID"}},
    {"Campo_Extra", {key("Ce_Tabla", 30), key("Ce_Campo", 30), text("Ce_Etiqueta"), {"Ce_Orden", T::Integer}},
     {"Ce_Tabla", "Ce_Campo"}},
    {"Campo_Extra_Valor", {key("Ce_Tabla", 30), key("Ce_Documento"), key("Ce_Campo", 30), text("Ce_Valor", 250)},
     {"Ce_Tabla", "Ce_Documento", "Ce_Campo"}},
    {"Contador", {key("Ct_Nombre", 60), {"Ct_Valor", T::Integer}}, {"Ct_Nombre"}, 2},
    // A sales note's lines as the point of sale recorded them, each with its taxes: what a
    // named invoice of the note bills, product by product.
    {"Venta_Linea", {key("Vn_Folio"), {"Vl_ID", T::Integer}, key("Pr_Cve_Producto"), text("Vl_Descripcion", 120),
                     {"Vl_Cantidad", T::Number}, key("Un_Cve_Unidad", 10), money("Vl_Precio_Lista_Importe"),
                     money("Vl_Descuento_Importe"), money("Vl_Precio_Descontado_Importe"),
                     money("Vl_Impuesto_Importe"), money("Vl_Precio_Neto_Importe")}, {"Vn_Folio", "Vl_ID"}, 4},
    {"Venta_Linea_Impuesto", {key("Vn_Folio"), {"Vl_ID", T::Integer}, {"Vi_ID", T::Integer}, key("Im_Cve_Impuesto", 10),
                              money("Vi_Base"), money("Vi_Importe")}, {"Vn_Folio", "Vl_ID", "Vi_ID"}, 4},
    // A customer's request for a named invoice of a note billed in a stamped global: the
    // global (cancelled with motive 04 for it), and the named invoice once it is made.
    {"Factura_Nominativa", {key("Vn_Folio"), key("Cl_Cve_Cliente"), key("Fn_Factura_Global"), text("Fn_UUID_Global", 36),
                            key("Fn_Factura"), {"Fn_Fecha_Solicitud", T::DateTime}, lastChange()}, {"Vn_Folio"}, 4},
    {"Emisor", {key("Em_R_F_C", 13), text("Em_Razon_Social", 250), text("Em_Regimen_Fiscal", 3),
                {"Em_Certificado", T::LongText}, {"Em_Llave", T::LongText}, text("Em_Clave", 100)}, {"Em_R_F_C"}},
};

const std::vector<Index> kIndexes = {
    {"IX_Venta_Encabezado_Factura", "Venta_Encabezado", {"Fc_Folio"}},
    {"IX_Venta_Encabezado_Candidatas", "Venta_Encabezado", {"Sc_Cve_Sucursal", "Mn_Cve_Moneda", "Vn_Fecha"}},
    {"IX_Venta_Factura", "Venta", {"Fc_Folio"}},
    {"IX_Factura_Impuesto_Linea", "Factura_Impuesto", {"Fc_Folio", "Fc_ID"}},
    {"IX_Lote_Documento_Documento", "Lote_Documento", {"Ld_Tabla", "Ld_Documento"}},
    {"IX_Devolucion_Cliente_Factura", "Devolucion_Cliente", {"Fc_Folio"}},
    {"IX_Almacen_Sucursal", "Almacen", {"Sc_Cve_Sucursal"}},
    {"IX_Cliente_Sucursal", "Cliente", {"Sc_Cve_Sucursal"}},
    // Two clerks can never store the same number of a series.
    {"UX_Factura_Serie_Numero", "Factura", {"Fc_Serie", "Fc_Numero"}, 2, true, "Fc_Serie <> ''"},
};

// A sales note belongs to one invoice at a time, and a cancelled note to none: a second
// clerk who bills a note another clerk billed a moment ago is refused by the database,
// whatever statement he runs, at no extra round trip. Freeing a note ("" folio) is allowed.
struct NoteRule
{
    const char *table;
    int since;
};

const std::vector<NoteRule> kNoteRules = {{"Venta", 2}, {"Venta_Encabezado", 2}};

// The one move between two live invoices the rule admits: to the invoice made to replace
// the note's invoice (SAT motive 01), both alive; and back from that replacement, once it
// is cancelled, to the invoice it was to replace, still alive. `from` and `to` name the
// folios the note leaves and reaches.
QString replacementMove(const QString &from, const QString &to)
{
    return QStringLiteral("EXISTS (SELECT 1 FROM Factura n JOIN Factura o ON o.Fc_Folio = %1 "
                          "WHERE n.Fc_Folio = %2 AND n.Es_Cve_Estado <> 'CA' AND "
                          "((n.Fc_Sustituye = o.Fc_Folio AND o.Es_Cve_Estado <> 'CA') OR "
                          "(o.Fc_Sustituye = n.Fc_Folio AND o.Es_Cve_Estado = 'CA')))")
        .arg(from, to);
}

// The rule of one table; with `replacement`, the move to or from a replacement admitted.
RowRule noteRule(const NoteRule &rule, bool replacement)
{
    const QString table = QString::fromLatin1(rule.table);
    QString billedElsewhere = QStringLiteral("NEW.Fc_Folio <> '' AND OLD.Fc_Folio <> '' AND NEW.Fc_Folio <> OLD.Fc_Folio");
    if (replacement)
        billedElsewhere += QStringLiteral(" AND NOT ") + replacementMove(QStringLiteral("OLD.Fc_Folio"), QStringLiteral("NEW.Fc_Folio"));
    return {QStringLiteral("TR_%1_Una_Factura").arg(table), table, QStringLiteral("Fc_Folio"),
            QStringLiteral("zentaro_nota_una_factura"),
            {{QStringLiteral("NEW.Fc_Folio <> '' AND OLD.Es_Cve_Estado = 'CA'"),
              QStringLiteral("La nota % está cancelada y no puede facturarse"), {QStringLiteral("OLD.Vn_Folio")}},
             {billedElsewhere, QStringLiteral("La nota % ya está facturada en la factura %"),
              {QStringLiteral("OLD.Vn_Folio"), QStringLiteral("OLD.Fc_Folio")}}}};
}

constexpr int kReplacementRuleSince = 4;

// The rules of version 4: the same refusals, with the replacement's move admitted.
QStringList replacementRuleStatements(const SqlDialect &dialect)
{
    QStringList statements;
    bool first = true;
    for (const NoteRule &rule : kNoteRules) {
        statements << dialect.replaceRowRule(noteRule(rule, true), first);
        first = false;
    }
    return statements;
}

QString joined(const std::vector<const char *> &names)
{
    QStringList list;
    for (const char *name : names)
        list << QString::fromLatin1(name);
    return list.join(QStringLiteral(", "));
}

} // namespace

const std::vector<Table> &tables() { return kTables; }
const std::vector<Index> &indexes() { return kIndexes; }

const Table *findTable(const QString &name)
{
    for (const Table &table : kTables)
        if (name.compare(QLatin1String(table.name), Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

namespace {

QString columnDefinition(const Column &column, const SqlDialect &dialect)
{
    QString part = QString::fromLatin1(column.name) + u' ' + dialect.columnType(column.type, column.size);
    // Keys are written into statements between quotes: a quote inside one would end it.
    if (column.type == T::Key)
        part += QStringLiteral(" CHECK (%1 NOT LIKE '%''%')").arg(QLatin1String(column.name));
    return part;
}

QString createTable(const Table &table, const SqlDialect &dialect, int version)
{
    QStringList parts;
    for (const Column &column : table.columns)
        if (column.since <= version)
            parts << columnDefinition(column, dialect);
    if (!table.primaryKey.empty())
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(joined(table.primaryKey));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(QLatin1String(table.name), parts.join(QStringLiteral(", ")));
}

QString createIndex(const Index &index)
{
    QString text = QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                       .arg(index.unique ? QStringLiteral("UNIQUE ") : QString(), QLatin1String(index.name),
                            QLatin1String(index.table), joined(index.columns));
    if (index.where)
        text += QStringLiteral(" WHERE ") + QLatin1String(index.where);
    return text;
}

// What version `version` adds to the one before, for a database of that one: new tables,
// new columns of old tables, indexes and rules.
QStringList additions(const SqlDialect &dialect, int version)
{
    QStringList statements;
    for (const Table &table : kTables) {
        if (table.since == version) {
            statements << createTable(table, dialect, version);
            continue;
        }
        if (table.since > version)
            continue;
        for (const Column &column : table.columns)
            if (column.since == version)
                statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                                  .arg(QLatin1String(table.name), columnDefinition(column, dialect));
    }
    for (const Index &index : kIndexes)
        if (index.since == version)
            statements << createIndex(index);
    bool first = true;
    for (const NoteRule &rule : kNoteRules) {
        if (rule.since != version)
            continue;
        statements << dialect.createRowRule(noteRule(rule, false), first);
        first = false;
    }
    if (version == kReplacementRuleSince)
        statements << replacementRuleStatements(dialect);
    return statements;
}

} // namespace

QStringList createStatements(Engine engine, int version)
{
    const SqlDialect &dialect = SqlDialect::of(engine);
    QStringList statements = dialect.schemaPrelude();
    // Version 1 whole, then each later version's additions: a new database is built the
    // way an old one is upgraded, so the two cannot drift apart.
    for (const Table &table : kTables)
        if (table.since == 1)
            statements << createTable(table, dialect, 1);
    for (const Index &index : kIndexes)
        if (index.since == 1)
            statements << createIndex(index);
    for (int step = 2; step <= version; ++step)
        statements << additions(dialect, step);
    statements << QStringLiteral("INSERT INTO Zentaro_Version (Zv_Version) VALUES (%1)").arg(version);
    return statements;
}

QStringList upgradeStatements(Engine engine, int to)
{
    QStringList statements = additions(SqlDialect::of(engine), to);
    statements << QStringLiteral("UPDATE Zentaro_Version SET Zv_Version = %1").arg(to);
    return statements;
}

namespace {

bool hasVersionTable(Connection &connection)
{
    const QString sql = connection.dialect().tableCountQuery(QStringLiteral("zentaro_version"));
    Recordset rs = connection.select(sql);
    return rs.decimal(QStringLiteral("n")).units() > 0;
}

} // namespace

void create(Connection &connection, int version)
{
    if (hasVersionTable(connection))
        throw Error(QStringLiteral("La base de datos %1 ya contiene las tablas de Zentaro").arg(connection.url().display()));
    TransactionGuard transaction(connection);
    for (const QString &statement : createStatements(connection.engine(), version))
        connection.define(statement);
    transaction.commit();
}

int installedVersion(Connection &connection)
{
    if (!hasVersionTable(connection))
        return 0;
    Recordset rs = connection.select(QStringLiteral("SELECT Zv_Version FROM Zentaro_Version"));
    return rs.eof() ? 0 : static_cast<int>(rs.decimal(QStringLiteral("Zv_Version")).units() / Decimal::kOne);
}

int upgrade(Connection &connection)
{
    const int from = installedVersion(connection);
    if (from == 0)
        throw Error(QStringLiteral("La base de datos %1 no tiene las tablas de Zentaro. Créela con: zentaro init --db %1 --demo")
                        .arg(connection.url().display()));
    if (from > kVersion)
        throw Error(QStringLiteral("La base de datos tiene la versión %1 del esquema, más nueva que la versión %2 de "
                                   "este programa; actualice el programa").arg(from).arg(kVersion));
    for (int step = from + 1; step <= kVersion; ++step) {
        TransactionGuard transaction(connection);
        for (const QString &statement : upgradeStatements(connection.engine(), step))
            connection.define(statement);
        transaction.commit();
    }
    return from;
}

void verify(Connection &connection)
{
    const int version = installedVersion(connection);
    if (version == 0)
        throw Error(QStringLiteral("La base de datos %1 no tiene las tablas de Zentaro. Créela con: zentaro init --db %1 --demo")
                        .arg(connection.url().display()));
    if (version < kVersion)
        throw Error(QStringLiteral("La base de datos tiene la versión %1 del esquema y este programa usa la versión %2. "
                                   "Actualícela con: zentaro init --db %3 --upgrade")
                        .arg(version).arg(kVersion).arg(connection.url().display()));
    if (version > kVersion)
        throw Error(QStringLiteral("La base de datos tiene la versión %1 del esquema y este programa usa la versión %2")
                        .arg(version).arg(kVersion));
}

} // namespace zentaro::schema
