#pragma once

#include <QString>

#include <exception>

namespace zentaro {

// The one exception the suite raises. Its description is what the user is shown: the
// engine's own text for a database failure, a Spanish sentence for the suite's own refusals.
class Error : public std::exception
{
public:
    explicit Error(QString description) : m_description(std::move(description)),
        m_utf8(m_description.toUtf8()) {}

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

} // namespace zentaro
