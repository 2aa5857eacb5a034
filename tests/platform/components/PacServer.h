#pragma once

#include "SmtpSinkCertificate.h"

#include "platform/cfdi/SandboxPac.h"

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace zentaro::test {

struct HttpRequest
{
    QByteArray method, path, body;
    QHash<QByteArray, QByteArray> headers; // names in lower case

    // The "xml" field of a multipart/form-data body.
    QByteArray xmlField() const
    {
        const QByteArray type = headers.value("content-type");
        const qsizetype at = type.indexOf("boundary="), field = body.indexOf("name=\"xml\"");
        if (at < 0 || field < 0)
            return {};
        const qsizetype start = body.indexOf("\r\n\r\n", field) + 4;
        return body.mid(start, body.indexOf("\r\n--" + type.mid(at + 9).trimmed(), start) - start);
    }
};

struct HttpAnswer
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = QByteArrayLiteral("application/json");
    bool silent = false; // read the request and never answer: a server that hangs
};

// The provider's JSON answers, as its documentation shows them.
inline HttpAnswer pacSuccess(const QJsonObject &data)
{
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("status"), QStringLiteral("success")},
                                           {QStringLiteral("data"), data}})
                     .toJson(QJsonDocument::Compact)};
}
inline HttpAnswer pacError(int status, const QString &message, const QJsonObject &data = {})
{
    QJsonObject body{{QStringLiteral("status"), QStringLiteral("error")},
                     {QStringLiteral("message"), message},
                     {QStringLiteral("messageDetail"), message}};
    if (!data.isEmpty())
        body.insert(QStringLiteral("data"), data);
    return {status, QJsonDocument(body).toJson(QJsonDocument::Compact)};
}
// The stamp route answered with the sandbox's rules.
inline HttpAnswer sandboxStamp(cfdi::SandboxPac &sandbox, const QByteArray &xml)
{
    const cfdi::StampResult result = sandbox.stamp(xml);
    if (!result.stamped())
        return pacError(400, result.refusal->code + QStringLiteral(" - ") + result.refusal->message);
    return pacSuccess({{QStringLiteral("uuid"), result.stamp->timbre.uuid},
                       {QStringLiteral("cfdi"), QString::fromUtf8(result.stamp->xml)}});
}

// A PAC's HTTPS server on 127.0.0.1: it answers each request with what the test's handler
// says, one connection at a time, and keeps every request. It runs on its own thread with
// blocking sockets, because the adapter blocks the test's thread while curl works; every
// wait is bounded, so a broken client fails the test instead of hanging it.
class PacServer
{
public:
    using Handler = std::function<HttpAnswer(const HttpRequest &)>;

    PacServer(const SmtpSinkCertificate &certificate, Handler handler) : m_handler(std::move(handler))
    {
        // A client that gives up on a long reply closes the socket under the write.
        std::signal(SIGPIPE, SIG_IGN);
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 8);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_tls = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(m_tls, certificate.certificate());
        SSL_CTX_use_PrivateKey(m_tls, certificate.key());
        m_thread = std::thread([this] { serve(); });
    }
    ~PacServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
        SSL_CTX_free(m_tls);
    }

    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1/api").arg(m_port); }
    QList<HttpRequest> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    int count(const QByteArray &pathStart) const
    {
        const QList<HttpRequest> all = requests();
        return int(std::count_if(all.begin(), all.end(), [&](const HttpRequest &r) { return r.path.startsWith(pathStart); }));
    }

private:
    bool waitReadable(int socket, int milliseconds) const
    {
        for (int waited = 0; waited < milliseconds && !m_stop; waited += 100) {
            pollfd fd{socket, POLLIN, 0};
            if (::poll(&fd, 1, 100) > 0)
                return true;
        }
        return false;
    }

    void serve()
    {
        while (!m_stop) {
            const int socket = waitReadable(m_listener, 200) ? ::accept(m_listener, nullptr, nullptr) : -1;
            if (socket < 0)
                continue;
            timeval timeout{10, 0};
            ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            SSL *ssl = SSL_new(m_tls);
            SSL_set_fd(ssl, socket);
            if (SSL_accept(ssl) == 1)
                converse(ssl, socket);
            SSL_shutdown(ssl);
            SSL_free(ssl);
            ::close(socket);
        }
    }

    void converse(SSL *ssl, int socket)
    {
        QByteArray received;
        char buffer[16384];
        qsizetype headerEnd = -1, contentLength = 0;
        while (headerEnd < 0 || received.size() < headerEnd + 4 + contentLength) {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0)
                return;
            received.append(buffer, n);
            if (headerEnd < 0 && (headerEnd = received.indexOf("\r\n\r\n")) >= 0) {
                const qsizetype at = received.toLower().indexOf("content-length:");
                if (at >= 0 && at < headerEnd)
                    contentLength = received.mid(at + 15, received.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
            }
        }
        HttpRequest request;
        const QList<QByteArray> lines = received.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (const QByteArray &line : lines.mid(1)) {
            if (const qsizetype colon = line.indexOf(':'); colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        request.body = received.mid(headerEnd + 4, contentLength);
        {
            std::lock_guard lock(m_mutex);
            m_requests << request;
        }
        const HttpAnswer answer = m_handler(request);
        // A silent server waits until the client gives up and hangs up.
        while (answer.silent && waitReadable(socket, 30000) && SSL_read(ssl, buffer, sizeof buffer) > 0) {
        }
        const QByteArray text = "HTTP/1.1 " + QByteArray::number(answer.status) + " X\r\nContent-Type: " +
                                answer.contentType + "\r\nContent-Length: " + QByteArray::number(answer.body.size()) +
                                "\r\nConnection: close\r\n\r\n" + answer.body;
        if (!answer.silent)
            SSL_write(ssl, text.constData(), int(text.size()));
    }

    Handler m_handler;
    int m_listener = -1, m_port = 0;
    SSL_CTX *m_tls = nullptr;
    std::atomic<bool> m_stop = false;
    mutable std::mutex m_mutex;
    QList<HttpRequest> m_requests;
    std::thread m_thread;
};

} // namespace zentaro::test
