#pragma once

#include "SmtpSinkCertificate.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace zentaro::test {

struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    // The "xml" field of a multipart/form-data body.
    QByteArray xmlField() const
    {
        const QByteArray type = headers.value("content-type");
        const qsizetype at = type.indexOf("boundary=");
        if (at < 0)
            return {};
        const QByteArray boundary = "--" + type.mid(at + 9).trimmed();
        qsizetype start = body.indexOf("name=\"xml\"");
        if (start < 0)
            return {};
        start = body.indexOf("\r\n\r\n", start) + 4;
        return body.mid(start, body.indexOf("\r\n" + boundary, start) - start);
    }
};

struct HttpAnswer
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = QByteArrayLiteral("application/json");
    bool silent = false; // read the request and never answer: a server that hangs
};

// A PAC's HTTPS server on 127.0.0.1 for the adapter's tests: it answers each request with
// what the test's handler says, one connection at a time, and keeps every request. It runs
// on its own thread with blocking sockets, because the adapter blocks the test's thread
// while curl works; every wait is bounded, so a broken client fails the test instead of
// hanging it.
class PacServer
{
public:
    using Handler = std::function<HttpAnswer(const HttpRequest &)>;

    PacServer(const SmtpSinkCertificate &certificate, Handler handler) : m_handler(std::move(handler))
    {
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
        int n = 0;
        for (const HttpRequest &r : requests())
            n += r.path.startsWith(pathStart) ? 1 : 0;
        return n;
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
            if (!waitReadable(m_listener, 200))
                continue;
            const int socket = ::accept(m_listener, nullptr, nullptr);
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
        qsizetype headerEnd = -1;
        qsizetype contentLength = 0;
        while (true) {
            if (headerEnd >= 0 && received.size() >= headerEnd + 4 + contentLength)
                break;
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0)
                return;
            received.append(buffer, n);
            if (headerEnd < 0 && (headerEnd = received.indexOf("\r\n\r\n")) >= 0) {
                const qsizetype at = received.toLower().indexOf("content-length:");
                if (at >= 0 && at < headerEnd)
                    contentLength =
                        received.mid(at + 15, received.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
            }
        }
        HttpRequest request;
        const QList<QByteArray> lines = received.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        request.body = received.mid(headerEnd + 4, contentLength);
        {
            std::lock_guard lock(m_mutex);
            m_requests << request;
        }
        const HttpAnswer answer = m_handler(request);
        if (answer.silent) {
            // Until the client gives up and hangs up.
            while (waitReadable(socket, 30000) && SSL_read(ssl, buffer, sizeof buffer) > 0) {
            }
            return;
        }
        const QByteArray text = "HTTP/1.1 " + QByteArray::number(answer.status) +
                                " X\r\nContent-Type: " + answer.contentType +
                                "\r\nContent-Length: " + QByteArray::number(answer.body.size()) +
                                "\r\nConnection: close\r\n\r\n" + answer.body;
        SSL_write(ssl, text.constData(), int(text.size()));
    }

    Handler m_handler;
    int m_listener = -1;
    int m_port = 0;
    SSL_CTX *m_tls = nullptr;
    std::atomic<bool> m_stop = false;
    mutable std::mutex m_mutex;
    QList<HttpRequest> m_requests;
    std::thread m_thread;
};

} // namespace zentaro::test
