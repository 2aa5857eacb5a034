#include "platform/core/SecretMask.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace zentaro {

namespace {

const QString kMask = QStringLiteral("********");

struct Registry
{
    QMutex mutex;
    QStringList forms; // longest first, so a longer form is replaced before a form inside it
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

QString jsonEscaped(const QString &secret)
{
    // QJsonDocument writes the string the way a JSON server would: quotes, backslashes and
    // control characters escaped, the rest in UTF-8.
    const QByteArray array = QJsonDocument(QJsonArray{secret}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(2, array.size() - 4));
}

QString unicodeEscaped(const QString &text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            escaped += c;
        else
            escaped += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return escaped;
}

} // namespace

QStringList secretForms(const QString &secret)
{
    QSet<QString> forms;
    const QString json = jsonEscaped(secret);
    const QString percent = QString::fromLatin1(QUrl::toPercentEncoding(secret));
    const QString formEncoded = QString::fromLatin1(QUrl::toPercentEncoding(secret, " ")).replace(u' ', u'+');
    for (const QString &form : {secret, json, QString(json).replace(u'/', QStringLiteral("\\/")), unicodeEscaped(json),
                                unicodeEscaped(json).replace(u'/', QStringLiteral("\\/")), percent, percent.toLower(),
                                formEncoded, secret.toHtmlEscaped(), QString(secret.toHtmlEscaped()).replace(u'\'', QStringLiteral("&apos;"))})
        forms.insert(form);
    return QStringList(forms.begin(), forms.end());
}

void rememberSecret(const QString &secret)
{
    if (secret.size() < kShortestMaskedSecret)
        return;
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    for (const QString &form : secretForms(secret))
        if (!r.forms.contains(form))
            r.forms << form;
    std::stable_sort(r.forms.begin(), r.forms.end(),
                     [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

void forgetSecret(const QString &secret)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    for (const QString &form : secretForms(secret))
        r.forms.removeAll(form);
}

QString maskSecrets(QString text)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    for (const QString &form : std::as_const(r.forms))
        text.replace(form, kMask, form.contains(u'%') ? Qt::CaseInsensitive : Qt::CaseSensitive);
    return text;
}

QByteArray maskSecrets(const QByteArray &text)
{
    {
        Registry &r = registry();
        QMutexLocker lock(&r.mutex);
        if (r.forms.isEmpty())
            return text;
    }
    return maskSecrets(QString::fromUtf8(text)).toUtf8();
}

} // namespace zentaro
