#include "platform/components/printing/SatCatalogText.h"

#include <QHash>

namespace zentaro {

namespace {

using Table = QHash<QString, QString>;

Table table(std::initializer_list<std::pair<const char16_t *, const char16_t *>> rows)
{
    Table t;
    for (const auto &[key, text] : rows)
        t.insert(QString::fromUtf16(key), QString::fromUtf16(text));
    return t;
}

const Table &catalog(SatCatalog which)
{
    static const Table formaPago = table({{u"01", u"Efectivo"}, {u"02", u"Cheque nominativo"},
                                          {u"03", u"Transferencia electrónica de fondos"}, {u"04", u"Tarjeta de crédito"},
                                          {u"05", u"Monedero electrónico"}, {u"06", u"Dinero electrónico"},
                                          {u"08", u"Vales de despensa"}, {u"12", u"Dación en pago"},
                                          {u"13", u"Pago por subrogación"}, {u"14", u"Pago por consignación"},
                                          {u"15", u"Condonación"}, {u"17", u"Compensación"}, {u"23", u"Novación"},
                                          {u"24", u"Confusión"}, {u"25", u"Remisión de deuda"},
                                          {u"26", u"Prescripción o caducidad"}, {u"27", u"A satisfacción del acreedor"},
                                          {u"28", u"Tarjeta de débito"}, {u"29", u"Tarjeta de servicios"},
                                          {u"30", u"Aplicación de anticipos"}, {u"31", u"Intermediario pagos"},
                                          {u"99", u"Por definir"}});
    static const Table metodoPago = table({{u"PUE", u"Pago en una sola exhibición"},
                                           {u"PPD", u"Pago en parcialidades o diferido"}});
    static const Table regimen = table(
        {{u"601", u"General de Ley Personas Morales"}, {u"603", u"Personas Morales con Fines no Lucrativos"},
         {u"605", u"Sueldos y Salarios e Ingresos Asimilados a Salarios"}, {u"606", u"Arrendamiento"},
         {u"608", u"Demás ingresos"}, {u"612", u"Personas Físicas con Actividades Empresariales y Profesionales"},
         {u"616", u"Sin obligaciones fiscales"}, {u"621", u"Incorporación Fiscal"},
         {u"625", u"Actividades Empresariales con ingresos a través de Plataformas Tecnológicas"},
         {u"626", u"Régimen Simplificado de Confianza"}});
    static const Table uso = table({{u"G01", u"Adquisición de mercancías"},
                                    {u"G02", u"Devoluciones, descuentos o bonificaciones"},
                                    {u"G03", u"Gastos en general"}, {u"I01", u"Construcciones"},
                                    {u"S01", u"Sin efectos fiscales"}, {u"CP01", u"Pagos"}});
    static const Table periodicidad = table({{u"01", u"Diario"}, {u"02", u"Semanal"}, {u"03", u"Quincenal"},
                                             {u"04", u"Mensual"}, {u"05", u"Bimestral"}});
    static const Table meses = table({{u"01", u"Enero"}, {u"02", u"Febrero"}, {u"03", u"Marzo"}, {u"04", u"Abril"},
                                      {u"05", u"Mayo"}, {u"06", u"Junio"}, {u"07", u"Julio"}, {u"08", u"Agosto"},
                                      {u"09", u"Septiembre"}, {u"10", u"Octubre"}, {u"11", u"Noviembre"},
                                      {u"12", u"Diciembre"}, {u"13", u"Enero-Febrero"}, {u"14", u"Marzo-Abril"},
                                      {u"15", u"Mayo-Junio"}, {u"16", u"Julio-Agosto"},
                                      {u"17", u"Septiembre-Octubre"}, {u"18", u"Noviembre-Diciembre"}});
    static const Table impuesto = table({{u"001", u"ISR"}, {u"002", u"IVA"}, {u"003", u"IEPS"}});
    static const Table exportacion = table({{u"01", u"No aplica"}, {u"02", u"Definitiva con clave A1"},
                                            {u"03", u"Temporal"}, {u"04", u"Definitiva con clave distinta a A1"}});
    static const Table tipo = table({{u"I", u"Ingreso"}, {u"E", u"Egreso"}, {u"T", u"Traslado"}, {u"N", u"Nómina"},
                                     {u"P", u"Pago"}});
    static const Table objeto = table({{u"01", u"No objeto de impuesto"}, {u"02", u"Sí objeto de impuesto"},
                                       {u"03", u"Sí objeto del impuesto y no obligado al desglose"}});
    switch (which) {
    case SatCatalog::FormaPago: return formaPago;
    case SatCatalog::MetodoPago: return metodoPago;
    case SatCatalog::RegimenFiscal: return regimen;
    case SatCatalog::UsoCfdi: return uso;
    case SatCatalog::Periodicidad: return periodicidad;
    case SatCatalog::Meses: return meses;
    case SatCatalog::Impuesto: return impuesto;
    case SatCatalog::Exportacion: return exportacion;
    case SatCatalog::TipoDeComprobante: return tipo;
    case SatCatalog::ObjetoImp: return objeto;
    }
    return formaPago;
}

} // namespace

QString satDescription(SatCatalog which, const QString &key) { return catalog(which).value(key); }

QString satKeyText(SatCatalog which, const QString &key)
{
    const QString text = satDescription(which, key);
    return text.isEmpty() ? key : QStringLiteral("%1 - %2").arg(key, text);
}

} // namespace zentaro
