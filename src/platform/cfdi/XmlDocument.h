#pragma once

// libxml2 stays inside the library: include this header from .cpp files only, the public
// headers speak QByteArray and QString.

#include <QByteArray>
#include <QList>
#include <QString>

#include <libxml/tree.h>

#include <memory>
#include <optional>

namespace zentaro::cfdi {

inline constexpr char kCfdiNamespace[] = "http://www.sat.gob.mx/cfd/4";
inline constexpr char kTfdNamespace[] = "http://www.sat.gob.mx/TimbreFiscalDigital";
inline constexpr char kXsiNamespace[] = "http://www.w3.org/2001/XMLSchema-instance";

class XmlDocument
{
public:
    // Parses without touching the network and without expanding external entities. Throws
    // zentaro::Error with libxml2's message when the text is not well-formed XML.
    static XmlDocument parse(const QByteArray &xml);

    xmlDoc *doc() const { return m_doc.get(); }
    xmlNode *root() const { return xmlDocGetRootElement(m_doc.get()); }
    QByteArray toUtf8() const;

private:
    struct Free
    {
        void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
    };
    std::unique_ptr<xmlDoc, Free> m_doc;
};

bool isElement(const xmlNode *node, const char *ns, const char *localName);
// Child elements with that namespace and local name, in document order.
QList<xmlNode *> childElements(const xmlNode *parent, const char *ns, const char *localName);
xmlNode *firstChildElement(const xmlNode *parent, const char *ns, const char *localName);
// Descendant elements (not the node itself) in document order.
QList<xmlNode *> descendantElements(const xmlNode *parent, const char *ns, const char *localName);
// Unqualified attribute; nullopt when absent, which is not the same as empty.
std::optional<QString> attribute(const xmlNode *node, const char *name);
QString attributeOrEmpty(const xmlNode *node, const char *name);

} // namespace zentaro::cfdi
