#pragma once

#include "SmtpSinkCertificate.h"

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ssl.h>

#include <thread>

namespace zentaro::test {

// How the sink behaves, as the mail servers the suite meets do.
struct SmtpSinkOptions
{
    enum class Tls { None, StartTls, Implicit };
    Tls tls = Tls::None;
    const SmtpSinkCertificate *certificate = nullptr;   // required for StartTls and Implicit
    QByteArray rcptReply = QByteArrayLiteral("250 2.1.5 Ok");
    QByteArray user = {};   // when set, MAIL is refused until AUTH PLAIN gives this login
    QByteArray password = {};
    bool silent = false;    // accepts the connection and never says a word: a server that hangs
};

// A one-message SMTP server on 127.0.0.1 for the mail tests: it accepts one connection,
// answers just enough SMTP (STARTTLS and AUTH PLAIN included) for a client to deliver or
// be refused, keeps what it was told and stops. It runs on its own thread with blocking
// sockets, because the mailer it talks to blocks the test's thread while curl works.
// Every wait is bounded, so a broken client makes the test fail instead of hang.
class SmtpSink
{
public:
    explicit SmtpSink(SmtpSinkOptions options = {}) : m_options(std::move(options))
    {
        m_listener = boundSocket(&m_port);
        ::listen(m_listener, 1);
        if (m_options.certificate) {
            m_tls = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate(m_tls, m_options.certificate->certificate());
            SSL_CTX_use_PrivateKey(m_tls, m_options.certificate->key());
        }
        m_thread = std::thread([this] { serve(); });
    }
    ~SmtpSink()
    {
        finish();
        ::close(m_listener);
        SSL_CTX_free(m_tls);
    }

    int port() const { return m_port; }
    // Waits for the conversation to end; then the fields below are complete.
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    QList<QByteArray> commands; // every line the client sent outside DATA (AUTH's answer as "<login>")
    QByteArray data;            // the message, without the final "."
    bool encrypted = false;     // the message travelled over TLS
    bool authenticated = false;

    // A port on 127.0.0.1 where nothing listens.
    static int closedPort()
    {
        int port = 0;
        ::close(boundSocket(&port));
        return port;
    }

private:
    static int boundSocket(int *port)
    {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(s, reinterpret_cast<sockaddr *>(&address), length);
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
        *port = ntohs(address.sin_port);
        return s;
    }

    bool startTls()
    {
        m_ssl = SSL_new(m_tls);
        SSL_set_fd(m_ssl, m_socket);
        return SSL_accept(m_ssl) == 1;
    }
    void say(const QByteArray &line) const
    {
        const QByteArray text = line + "\r\n";
        if (m_ssl)
            SSL_write(m_ssl, text.constData(), int(text.size()));
        else
            (void)::send(m_socket, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
    }
    int receive(char *buffer, int size) const
    {
        return m_ssl ? SSL_read(m_ssl, buffer, size) : int(::recv(m_socket, buffer, size_t(size), 0));
    }

    void serve()
    {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20000) <= 0)
            return;
        m_socket = ::accept(m_listener, nullptr, nullptr);
        timeval timeout{20, 0};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (m_options.tls != SmtpSinkOptions::Tls::Implicit || startTls()) {
            if (!m_options.silent)
                say("220 sink ESMTP");
            converse();
        }
        if (m_ssl) {
            SSL_shutdown(m_ssl);
            SSL_free(m_ssl);
        }
        ::close(m_socket);
    }

    // curl logs in without an initial response: "AUTH PLAIN", then the login on a line of its own.
    void converse()
    {
        const bool authRequired = !m_options.user.isEmpty();
        QByteArray pending;
        bool inData = false;
        bool awaitingLogin = false;
        char buffer[65536];
        for (int n; (n = receive(buffer, int(sizeof buffer))) > 0;) {
            if (m_options.silent)
                return;
            pending.append(buffer, n);
            for (qsizetype end; (end = pending.indexOf(inData ? "\r\n.\r\n" : "\r\n")) >= 0;) {
                const QByteArray line = pending.left(end);
                pending.remove(0, end + (inData ? 5 : 2));
                if (inData) {
                    data = line + "\r\n";
                    encrypted = m_ssl != nullptr;
                    inData = false;
                    say("250 2.0.0 Ok: queued");
                    continue;
                }
                const bool offerTls = m_options.tls == SmtpSinkOptions::Tls::StartTls && !m_ssl;
                const QByteArray verb = line.split(' ').first().toUpper();
                commands.append(awaitingLogin ? "<login>" : verb == "AUTH" ? line.left(10) : line);
                if (awaitingLogin) {
                    // AUTH PLAIN: authorization identity, user and password separated by NULs.
                    const QList<QByteArray> parts = QByteArray::fromBase64(line.trimmed()).split('\0');
                    authenticated = parts.size() == 3 && parts[1] == m_options.user && parts[2] == m_options.password;
                    awaitingLogin = false;
                    say(authenticated ? "235 2.7.0 Authentication successful" : "535 5.7.8 Authentication credentials invalid");
                } else if (verb == "EHLO") {
                    say(QByteArray("250-sink\r\n") + (offerTls ? "250-STARTTLS\r\n" : "")
                        + (authRequired ? "250-AUTH PLAIN\r\n" : "") + "250 8BITMIME");
                } else if (verb == "STARTTLS" && offerTls) {
                    say("220 2.0.0 Ready to start TLS");
                    pending.clear();
                    if (!startTls())
                        return;
                } else if (verb == "AUTH" && authRequired) {
                    awaitingLogin = true;
                    say("334 ");
                } else if (verb == "MAIL") {
                    say(authRequired && !authenticated ? "530 5.7.0 Authentication required" : "250 2.1.0 Ok");
                } else if (verb == "RCPT") {
                    say(m_options.rcptReply);
                } else if (verb == "DATA") {
                    say("354 End data with <CR><LF>.<CR><LF>");
                    inData = true;
                } else if (verb == "QUIT") {
                    say("221 2.0.0 Bye");
                    return;
                } else {
                    say("502 5.5.2 Command not recognized");
                }
            }
        }
    }

    SmtpSinkOptions m_options;
    SSL_CTX *m_tls = nullptr;
    SSL *m_ssl = nullptr;
    int m_listener = -1;
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace zentaro::test
