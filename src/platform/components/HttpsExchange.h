#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace zentaro {

struct PacSettings;

// One HTTPS request to a certification provider or to the SAT, made with libcurl and
// waited for: the server's certificate is verified (against CFDI_PAC_CA_CERTIFICADO as well
// when set), and the settings' timeouts bound the wait.
struct HttpsRequest
{
    QByteArray url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;         // sent as is, with the Content-Type header given
    QByteArray xmlFormField; // when set, sent instead as multipart/form-data, field "xml"
};

struct HttpsReply
{
    enum class Failure {
        None,        // the server answered; see status
        Unreachable, // no connection (refused, unknown host, network down)
        TimedOut,    // connected, or trying to, past the time allowed
        Untrusted,   // the TLS handshake or the server's certificate failed
        Other,
    };
    Failure failure = Failure::None;
    QString reason; // libcurl's words, for a failure
    int status = 0; // the HTTP status
    QByteArray body;

    bool answered() const { return failure == Failure::None; }
    // Worth another attempt: nothing came back, or the server said it failed (5xx) or is
    // busy (429). A refusal (4xx) would only be repeated.
    bool transient() const
    {
        return failure == Failure::Unreachable || failure == Failure::TimedOut || failure == Failure::Other ||
               status >= 500 || status == 429;
    }
};

HttpsReply exchange(const HttpsRequest &request, const PacSettings &settings);

} // namespace zentaro
