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
    // When set, MAIL is refused until AUTH PLAIN gives this login.
    QByteArray user = {};
    QByteArray password = {};
    // Accepts the connection and never says a word: a server that hangs.
    bool silent = false;
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
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
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
        if (m_tls)
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
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length);
        ::close(s);
        return ntohs(address.sin_port);
    }

private:
    // One client connection, plain or TLS.
    struct Channel
    {
        int socket = -1;
        SSL *ssl = nullptr;

        bool startTls(SSL_CTX *context)
        {
            ssl = SSL_new(context);
            SSL_set_fd(ssl, socket);
            return SSL_accept(ssl) == 1;
        }
        void say(const QByteArray &line) const
        {
            const QByteArray text = line + "\r\n";
            if (ssl)
                SSL_write(ssl, text.constData(), int(text.size()));
            else
                (void)::send(socket, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
        }
        qsizetype receive(char *buffer, int size) const
        {
            return ssl ? SSL_read(ssl, buffer, size) : ::recv(socket, buffer, size_t(size), 0);
        }
        void close()
        {
            if (ssl) {
                SSL_shutdown(ssl);
                SSL_free(ssl);
            }
            ::close(socket);
        }
    };

    bool authRequired() const { return !m_options.user.isEmpty(); }
    bool checkLogin(const QByteArray &base64)
    {
        // AUTH PLAIN: authorization identity, user and password separated by NULs.
        const QList<QByteArray> parts = QByteArray::fromBase64(base64.trimmed()).split('\0');
        authenticated = parts.size() == 3 && parts[1] == m_options.user && parts[2] == m_options.password;
        return authenticated;
    }

    void serve()
    {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20000) <= 0)
            return;
        Channel channel{::accept(m_listener, nullptr, nullptr)};
        if (channel.socket < 0)
            return;
        timeval timeout{20, 0};
        ::setsockopt(channel.socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (m_options.tls == SmtpSinkOptions::Tls::Implicit && !channel.startTls(m_tls)) {
            channel.close();
            return;
        }
        if (!m_options.silent)
            channel.say("220 sink ESMTP");
        converse(channel);
        channel.close();
    }

    void converse(Channel &channel)
    {
        QByteArray pending;
        bool inData = false;
        bool awaitingLogin = false;
        char buffer[65536];
        for (;;) {
            const qsizetype n = channel.receive(buffer, int(sizeof buffer));
            if (n <= 0 || m_options.silent)
                return;
            pending.append(buffer, n);
            for (;;) {
                if (inData) {
                    const qsizetype end = pending.indexOf("\r\n.\r\n");
                    if (end < 0)
                        break;
                    data = pending.left(end + 2);
                    encrypted = channel.ssl != nullptr;
                    pending.remove(0, end + 5);
                    inData = false;
                    channel.say("250 2.0.0 Ok: queued");
                    continue;
                }
                const qsizetype eol = pending.indexOf("\r\n");
                if (eol < 0)
                    break;
                const QByteArray line = pending.left(eol);
                pending.remove(0, eol + 2);
                if (awaitingLogin) {
                    awaitingLogin = false;
                    commands.append("<login>");
                    channel.say(checkLogin(line) ? "235 2.7.0 Authentication successful"
                                                 : "535 5.7.8 Authentication credentials invalid");
                    continue;
                }
                const QByteArray verb = line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ')).toUpper();
                commands.append(verb == "AUTH" ? line.left(10) : line);
                if (verb == "EHLO") {
                    QByteArray reply = "250-sink\r\n";
                    if (m_options.tls == SmtpSinkOptions::Tls::StartTls && !channel.ssl)
                        reply += "250-STARTTLS\r\n";
                    if (authRequired())
                        reply += "250-AUTH PLAIN\r\n";
                    channel.say(reply + "250 8BITMIME");
                } else if (verb == "HELO") {
                    channel.say("250 sink");
                } else if (verb == "STARTTLS" && m_options.tls == SmtpSinkOptions::Tls::StartTls && !channel.ssl) {
                    channel.say("220 2.0.0 Ready to start TLS");
                    pending.clear();
                    if (!channel.startTls(m_tls))
                        return;
                } else if (verb == "AUTH" && authRequired()) {
                    const QList<QByteArray> words = line.split(' ');
                    if (words.size() >= 3)
                        channel.say(checkLogin(words[2]) ? "235 2.7.0 Authentication successful"
                                                         : "535 5.7.8 Authentication credentials invalid");
                    else {
                        awaitingLogin = true;
                        channel.say("334 ");
                    }
                } else if (verb == "MAIL") {
                    channel.say(authRequired() && !authenticated ? "530 5.7.0 Authentication required" : "250 2.1.0 Ok");
                } else if (verb == "RCPT") {
                    channel.say(m_options.rcptReply);
                } else if (verb == "DATA") {
                    channel.say("354 End data with <CR><LF>.<CR><LF>");
                    inData = true;
                } else if (verb == "QUIT") {
                    channel.say("221 2.0.0 Bye");
                    return;
                } else if (verb == "RSET" || verb == "NOOP") {
                    channel.say("250 Ok");
                } else {
                    channel.say("502 5.5.2 Command not recognized");
                }
            }
        }
    }

    SmtpSinkOptions m_options;
    SSL_CTX *m_tls = nullptr;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace zentaro::test
