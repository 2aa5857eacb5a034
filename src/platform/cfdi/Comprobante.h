#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace zentaro::cfdi {

// The invoice as it will be sealed, field for field as Anexo 20 names them.
//
// Amounts, quantities and rates are text already written with the decimals they must carry
// in the XML ("431.03", "0.160000"): the suite computes with zentaro::Decimal and formats with
// Decimal::toFixed, so the library never has to guess a rounding. An empty text means the
// optional attribute is absent. computeTotals (ComprobanteTotals.h) fills the document totals
// from the conceptos for callers that only know the lines.

struct Traslado
{
    QString base;
    QString impuesto;   // 001 ISR, 002 IVA, 003 IEPS
    QString tipoFactor; // Tasa, Cuota, Exento
    QString tasaOCuota; // empty for Exento
    QString importe;    // empty for Exento
};

struct Concepto
{
    QString claveProdServ;
    QString noIdentificacion;
    QString cantidad;
    QString claveUnidad;
    QString unidad;
    QString descripcion;
    QString valorUnitario;
    QString importe;
    QString descuento;
    QString objetoImp = QStringLiteral("02");
    QList<Traslado> traslados;
};

struct InformacionGlobal
{
    QString periodicidad; // c_Periodicidad 01..05
    QString meses;        // c_Meses 01..18
    QString anio;         // the XML attribute is "Año"
};

// The documents this one relates, all with one c_TipoRelacion ("04": it replaces them).
struct CfdiRelacionados
{
    QString tipoRelacion;
    QList<QString> uuids;
};

struct Emisor
{
    QString rfc;
    QString nombre;
    QString regimenFiscal;
};

struct Receptor
{
    QString rfc;
    QString nombre;
    QString domicilioFiscalReceptor;
    QString regimenFiscalReceptor;
    QString usoCfdi;
};

struct ImpuestosDocumento
{
    QString totalImpuestosTrasladados; // empty when every traslado is Exento
    QList<Traslado> traslados;         // one per impuesto / factor / rate
};

struct Comprobante
{
    QString serie;
    QString folio;
    QString fecha; // local time of the place of issue, yyyy-MM-ddTHH:mm:ss
    QString formaPago;
    QString subTotal;
    QString descuento;
    QString moneda = QStringLiteral("MXN");
    QString tipoCambio;
    QString total;
    QString tipoDeComprobante = QStringLiteral("I");
    QString exportacion = QStringLiteral("01");
    QString metodoPago = QStringLiteral("PUE");
    QString lugarExpedicion;

    // Filled by the sealer, never by hand.
    QString noCertificado;
    QString certificado;
    QString sello;

    std::optional<InformacionGlobal> informacionGlobal;
    QList<CfdiRelacionados> cfdiRelacionados;
    Emisor emisor;
    Receptor receptor;
    QList<Concepto> conceptos;
    std::optional<ImpuestosDocumento> impuestos;
};

} // namespace zentaro::cfdi
