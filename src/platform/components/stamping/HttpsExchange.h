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
//
// This is where a server's words enter the suite, so the reply comes back with every secret
// the process knows masked (see SecretMask): its body and libcurl's reason alike, whole,
// before anyone cuts or repeats them. It is also bounded: a reply longer than
// kHttpsReplyCap bytes is abandoned as it arrives (Failure::TooLarge), so a broken or
// hostile server cannot fill the memory.
struct HttpsRequest
{
    QByteArray method = "POST"; // or "GET"
    QByteArray url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;         // sent as is, with the Content-Type header given
    QByteArray xmlFormField; // when set, sent instead as multipart/form-data, field "xml"
};

// A CFDI of 10,000 lines is about 5.2 MB, and a stamp's JSON carries it escaped next to
// its timbre: 32 MB leaves room for that and stops a runaway reply long before it hurts.
inline constexpr qint64 kHttpsReplyCap = 32 * 1024 * 1024;

struct HttpsReply
{
    enum class Failure {
        None,        // the server answered; see status
        Unreachable, // no connection (refused, unknown host, network down)
        TimedOut,    // connected, or trying to, past the time allowed
        Untrusted,   // the TLS handshake or the server's certificate failed
        TooLarge,    // the reply passed kHttpsReplyCap; what it said is unknown
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
               failure == Failure::TooLarge || status >= 500 || status == 429;
    }
};

HttpsReply exchange(const HttpsRequest &request, const PacSettings &settings);

} // namespace zentaro
