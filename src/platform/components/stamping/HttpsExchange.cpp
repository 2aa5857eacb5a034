#include "platform/components/stamping/HttpsExchange.h"

#include "platform/components/stamping/PacSettings.h"
#include "platform/core/SecretMask.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace zentaro {

namespace {

struct Collected
{
    QByteArray body;
    bool tooLarge = false;
};

// Refusing the bytes (answering less than was offered) makes libcurl abandon the transfer.
size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *collected = static_cast<Collected *>(user);
    if (collected->body.size() + qint64(size * count) > kHttpsReplyCap) {
        collected->tooLarge = true;
        return 0;
    }
    collected->body.append(data, qsizetype(size * count));
    return size * count;
}

HttpsReply::Failure failureOf(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpsReply::Failure::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpsReply::Failure::TimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
        return HttpsReply::Failure::Untrusted;
    default:
        return HttpsReply::Failure::Other;
    }
}

} // namespace

HttpsReply exchange(const HttpsRequest &request, const PacSettings &settings)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    HttpsReply reply;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        reply.failure = HttpsReply::Failure::Other;
        reply.reason = QStringLiteral("no se pudo preparar la conexión (libcurl)");
        return reply;
    }
    CURL *handle = curl.get();
    // curl would otherwise ask "Expect: 100-continue" for a large CFDI and wait for a
    // go-ahead some servers never send.
    QList<QByteArray> headerLines = {QByteArrayLiteral("Expect:")};
    for (const auto &[name, value] : request.headers)
        headerLines << name + ": " + value;
    curl_slist *headers = nullptr;
    for (const QByteArray &line : headerLines)
        headers = curl_slist_append(headers, line.constData());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, curl_slist_free_all);

    std::unique_ptr<curl_mime, decltype(&curl_mime_free)> form(nullptr, curl_mime_free);
    if (request.method == "GET") {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else if (!request.xmlFormField.isEmpty()) {
        form.reset(curl_mime_init(handle));
        curl_mimepart *part = curl_mime_addpart(form.get());
        curl_mime_name(part, "xml");
        curl_mime_filename(part, "cfdi.xml");
        curl_mime_type(part, "application/xml");
        curl_mime_data(part, request.xmlFormField.constData(), size_t(request.xmlFormField.size()));
        curl_easy_setopt(handle, CURLOPT_MIMEPOST, form.get());
    } else {
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.constData());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    }

    const QByteArray caFile = settings.caFile.toLocal8Bit();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
    Collected collected;
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &collected);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kHttpsReplyCap));
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, long(settings.connectTimeout));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, long(settings.timeout));
    if (!caFile.isEmpty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.constData());

    const CURLcode code = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (collected.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        reply.failure = HttpsReply::Failure::TooLarge;
        reply.status = int(status);
        reply.reason = QStringLiteral("la respuesta pasó de %1 MB y se dejó de leer").arg(kHttpsReplyCap / (1024 * 1024));
        return reply;
    }
    if (code != CURLE_OK) {
        reply.failure = failureOf(code);
        reply.reason = maskSecrets(errorBuffer[0] ? QString::fromUtf8(errorBuffer)
                                                  : QString::fromUtf8(curl_easy_strerror(code)));
        return reply;
    }
    reply.status = int(status);
    reply.body = maskSecrets(collected.body);
    return reply;
}

} // namespace zentaro
