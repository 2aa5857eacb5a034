#include "platform/core/OrderedJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace zentaro {

OrderedJson::OrderedJson(const QJsonValue &leaf) : m_leaf(leaf) {}

OrderedJson OrderedJson::object()
{
    OrderedJson json;
    json.m_kind = Kind::Object;
    return json;
}

OrderedJson OrderedJson::array()
{
    OrderedJson json;
    json.m_kind = Kind::Array;
    return json;
}

OrderedJson &OrderedJson::insert(const QString &key, const OrderedJson &value)
{
    m_kind = Kind::Object;
    m_members.append({key, value});
    return *this;
}

OrderedJson &OrderedJson::append(const OrderedJson &value)
{
    m_kind = Kind::Array;
    m_members.append({QString(), value});
    return *this;
}

QByteArray OrderedJson::serialize() const
{
    auto leafText = [](const QJsonValue &value) {
        // Qt writes a lone value only inside a container: write [value] and unwrap it.
        const QByteArray text = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
        return text.mid(1, text.size() - 2);
    };
    if (m_kind == Kind::Leaf)
        return leafText(m_leaf);
    QByteArray out(m_kind == Kind::Object ? "{" : "[");
    for (qsizetype i = 0; i < m_members.size(); ++i) {
        if (i > 0)
            out += ',';
        if (m_kind == Kind::Object)
            out += leafText(m_members[i].first) + ':';
        out += m_members[i].second.serialize();
    }
    out += m_kind == Kind::Object ? '}' : ']';
    return out;
}

void OrderedJson::appendMembersTo(OrderedJson &target) const
{
    for (const auto &member : m_members)
        target.insert(member.first, member.second);
}

} // namespace zentaro
