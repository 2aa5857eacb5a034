#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace zentaro::cfdi {

// An XSD compiled once (SAT's catalog schema takes a moment) and reused for every document.
// Imports are resolved next to the .xsd file and never over the network.
class SchemaValidator
{
public:
    // Throws zentaro::Error when the schema cannot be read or compiled.
    explicit SchemaValidator(const QString &xsdPath);
    ~SchemaValidator();
    SchemaValidator(SchemaValidator &&) noexcept;
    SchemaValidator &operator=(SchemaValidator &&) noexcept;

    // libxml2's messages, one per fault; empty when the document is valid.
    QStringList errors(const QByteArray &xml) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace zentaro::cfdi
