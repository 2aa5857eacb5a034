#pragma once

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

namespace zentaro {

// A JSON value that keeps the order in which its members were added, so that every line
// of the script output reads in the order the output format gives.
class OrderedJson
{
public:
    OrderedJson(const QJsonValue &leaf = QJsonValue::Null);   // NOLINT: leaves convert freely
    OrderedJson(const QString &text) : OrderedJson(QJsonValue(text)) {}
    OrderedJson(const char *) = delete;
    static OrderedJson object();
    static OrderedJson array();

    OrderedJson &insert(const QString &key, const OrderedJson &value);
    OrderedJson &append(const OrderedJson &value);
    bool isEmpty() const { return m_members.isEmpty() && m_kind != Kind::Leaf; }
    // Adds this object's members, in order, to another object.
    void appendMembersTo(OrderedJson &target) const;

    QByteArray serialize() const;

private:
    enum class Kind { Leaf, Object, Array };
    Kind m_kind = Kind::Leaf;
    QJsonValue m_leaf;
    QList<QPair<QString, OrderedJson>> m_members;
};

} // namespace zentaro
