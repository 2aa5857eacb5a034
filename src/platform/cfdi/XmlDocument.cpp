#include "platform/cfdi/XmlDocument.h"

#include "platform/core/Error.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstring>

namespace zentaro::cfdi {

XmlDocument XmlDocument::parse(const QByteArray &xml)
{
    XmlDocument document;
    document.m_doc.reset(xmlReadMemory(xml.constData(), static_cast<int>(xml.size()), nullptr, nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!document.m_doc || !document.root()) {
        const xmlError *error = xmlGetLastError();
        throw Error(QStringLiteral("El XML del comprobante no es válido: %1")
                        .arg(error && error->message ? QString::fromUtf8(error->message).trimmed()
                                                     : QStringLiteral("documento vacío")));
    }
    return document;
}

QByteArray XmlDocument::toUtf8() const
{
    xmlChar *buffer = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(m_doc.get(), &buffer, &size, "UTF-8");
    QByteArray out(reinterpret_cast<const char *>(buffer), size);
    xmlFree(buffer);
    return out;
}

bool isElement(const xmlNode *node, const char *ns, const char *localName)
{
    return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char *>(node->ns->href), ns) == 0 &&
           std::strcmp(reinterpret_cast<const char *>(node->name), localName) == 0;
}

QList<xmlNode *> childElements(const xmlNode *parent, const char *ns, const char *localName)
{
    QList<xmlNode *> found;
    for (xmlNode *child = parent ? parent->children : nullptr; child; child = child->next)
        if (isElement(child, ns, localName))
            found.append(child);
    return found;
}

xmlNode *firstChildElement(const xmlNode *parent, const char *ns, const char *localName)
{
    for (xmlNode *child = parent ? parent->children : nullptr; child; child = child->next)
        if (isElement(child, ns, localName))
            return child;
    return nullptr;
}

QList<xmlNode *> descendantElements(const xmlNode *parent, const char *ns, const char *localName)
{
    QList<xmlNode *> found;
    for (xmlNode *child = parent ? parent->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (isElement(child, ns, localName))
            found.append(child);
        found.append(descendantElements(child, ns, localName));
    }
    return found;
}

std::optional<QString> attribute(const xmlNode *node, const char *name)
{
    if (!node)
        return std::nullopt;
    const auto xmlName = reinterpret_cast<const xmlChar *>(name);
    if (!xmlHasNsProp(node, xmlName, nullptr))
        return std::nullopt;
    xmlChar *value = xmlGetNoNsProp(node, xmlName);
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return text;
}

QString attributeOrEmpty(const xmlNode *node, const char *name)
{
    return attribute(node, name).value_or(QString());
}

} // namespace zentaro::cfdi
