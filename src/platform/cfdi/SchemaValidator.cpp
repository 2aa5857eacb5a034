#include "platform/cfdi/SchemaValidator.h"

#include "platform/cfdi/XmlDocument.h"
#include "platform/core/Error.h"

#include <QFile>

#include <libxml/xmlschemas.h>

namespace zentaro::cfdi {

namespace {

void collect(void *sink, const xmlError *error)
{
    if (error && error->message)
        static_cast<QStringList *>(sink)->append(
            QStringLiteral("línea %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed()));
}

// libxml2 2.9 and 2.12 disagree on the constness of the callback's error.
void collectMutable(void *sink, xmlError *error)
{
    collect(sink, error);
}

} // namespace

struct SchemaValidator::Private
{
    xmlSchemaPtr schema = nullptr;
    ~Private() { xmlSchemaFree(schema); }
};

SchemaValidator::SchemaValidator(const QString &xsdPath) : d(std::make_unique<Private>())
{
    if (!QFile::exists(xsdPath))
        throw Error(QStringLiteral("No se encontró el esquema %1").arg(xsdPath));
    QStringList problems;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(QFile::encodeName(xsdPath).constData());
    xmlSchemaSetParserStructuredErrors(parser, collectMutable, &problems);
    d->schema = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    if (!d->schema)
        throw Error(QStringLiteral("No se pudo leer el esquema %1: %2").arg(xsdPath, problems.join(u'\n')));
}

SchemaValidator::~SchemaValidator() = default;
SchemaValidator::SchemaValidator(SchemaValidator &&) noexcept = default;
SchemaValidator &SchemaValidator::operator=(SchemaValidator &&) noexcept = default;

QStringList SchemaValidator::errors(const QByteArray &xml) const
{
    QStringList problems;
    std::optional<XmlDocument> document;
    try {
        document = XmlDocument::parse(xml);
    } catch (const Error &e) {
        return {e.description()};
    }
    xmlSchemaValidCtxtPtr context = xmlSchemaNewValidCtxt(d->schema);
    xmlSchemaSetValidStructuredErrors(context, collectMutable, &problems);
    const int result = xmlSchemaValidateDoc(context, document->doc());
    xmlSchemaFreeValidCtxt(context);
    if (result != 0 && problems.isEmpty())
        problems.append(QStringLiteral("El documento no cumple con el esquema"));
    return problems;
}

} // namespace zentaro::cfdi
