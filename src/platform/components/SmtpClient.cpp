#include "platform/components/SmtpClient.h"

#include <curl/curl.h>

#include <cstring>
#include <mutex>

namespace zentaro {

namespace {

struct Upload
{
    const QByteArray *data;
    qsizetype offset = 0;
};

size_t readBody(char *buffer, size_t size, size_t count, void *user)
{
    auto *upload = static_cast<Upload *>(user);
    const size_t room = size * count;
    const size_t left = size_t(upload->data->size() - upload->offset);
    const size_t n = std::min(room, left);
    std::memcpy(buffer, upload->data->constData() + upload->offset, n);
    upload->offset += qsizetype(n);
    return n;
}

// Keeps the server's last refusal (a 4xx or 5xx reply) so it can be shown as the server
// said it; the "221 Bye" that follows a refusal must not replace it.
int traceReplies(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    const QString line = QString::fromUtf8(data, qsizetype(size)).trimmed();
    if (line.startsWith(u'4') || line.startsWith(u'5'))
        *static_cast<QString *>(user) = line;
    return 0;
}

QByteArray angleAddress(const QString &address) { return "<" + address.trimmed().toUtf8() + ">"; }

} // namespace

SmtpClient::SmtpClient(SmtpSettings settings) : m_settings(std::move(settings))
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool SmtpClient::send(const QStringList &recipients, const QByteArray &message)
{
    m_lastError.clear();
    CURL *curl = curl_easy_init();
    if (!curl) {
        m_lastError = QStringLiteral("No se pudo preparar el envío de correo (libcurl)");
        return false;
    }
    const QByteArray url = m_settings.url.toUtf8();
    const QByteArray from = angleAddress(m_settings.sender);
    const QByteArray user = m_settings.user.toUtf8();
    const QByteArray password = m_settings.password.toUtf8();
    curl_slist *rcpt = nullptr;
    QList<QByteArray> rcptTexts;
    for (const QString &r : recipients)
        rcptTexts << angleAddress(r);
    for (const QByteArray &r : rcptTexts)
        rcpt = curl_slist_append(rcpt, r.constData());

    Upload upload{&message};
    QString lastReply;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(connectTimeout));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(totalTimeout));
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, traceReplies);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &lastReply);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
        // A password never travels in clear: STARTTLS is required where a login is.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    }

    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (code == CURLE_OK)
        return true;

    const QString reason = errorBuffer[0] ? QString::fromUtf8(errorBuffer) : QString::fromUtf8(curl_easy_strerror(code));
    if (!lastReply.isEmpty())
        m_lastError = QStringLiteral("El servidor de correo %1 rechazó el envío: %2").arg(m_settings.url, lastReply);
    else if (code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_OPERATION_TIMEDOUT)
        m_lastError = QStringLiteral("No se pudo conectar con el servidor de correo %1: %2").arg(m_settings.url, reason);
    else
        m_lastError = QStringLiteral("Falló el envío por el servidor de correo %1: %2").arg(m_settings.url, reason);
    return false;
}

} // namespace zentaro
