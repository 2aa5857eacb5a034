#pragma once

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace zentaro::test {

// A one-message SMTP server on 127.0.0.1 for the mail tests: it accepts one connection,
// answers just enough SMTP for a client to deliver (or be refused at RCPT), keeps what it
// was told and stops. It runs on its own thread with blocking sockets, because the mailer
// it talks to blocks the test's thread while curl works. Every wait is bounded, so a
// broken client makes the test fail instead of hang.
class SmtpSink
{
public:
    explicit SmtpSink(QByteArray rcptReply = QByteArrayLiteral("250 2.1.5 Ok"))
        : m_rcptReply(std::move(rcptReply))
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
        m_thread = std::thread([this] { serve(); });
    }
    ~SmtpSink()
    {
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }

    int port() const { return m_port; }
    // Waits for the conversation to end; then the fields below are complete.
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    QList<QByteArray> commands; // every line the client sent outside DATA
    QByteArray data;            // the message, without the final "."

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
    void serve()
    {
        pollfd waiting{m_listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20000) <= 0)
            return;
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        timeval timeout{20, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        auto say = [client](const QByteArray &line) {
            const QByteArray text = line + "\r\n";
            (void)::send(client, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
        };
        say("220 sink ESMTP");
        QByteArray pending;
        bool inData = false;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            pending.append(buffer, qsizetype(n));
            if (inData) {
                const qsizetype end = pending.indexOf("\r\n.\r\n");
                if (end < 0)
                    continue;
                data = pending.left(end + 2);
                pending.remove(0, end + 5);
                inData = false;
                say("250 2.0.0 Ok: queued");
            }
            qsizetype eol;
            bool quit = false;
            while (!inData && (eol = pending.indexOf("\r\n")) >= 0) {
                const QByteArray line = pending.left(eol);
                pending.remove(0, eol + 2);
                commands.append(line);
                const QByteArray verb = line.left(4).toUpper();
                if (verb == "EHLO")
                    say("250-sink\r\n250 8BITMIME");
                else if (verb == "HELO")
                    say("250 sink");
                else if (verb == "MAIL")
                    say("250 2.1.0 Ok");
                else if (verb == "RCPT")
                    say(m_rcptReply);
                else if (verb == "DATA") {
                    say("354 End data with <CR><LF>.<CR><LF>");
                    inData = true;
                } else if (verb == "QUIT") {
                    say("221 2.0.0 Bye");
                    quit = true;
                    break;
                } else if (verb == "RSET" || verb == "NOOP")
                    say("250 Ok");
                else
                    say("502 5.5.2 Command not recognized");
            }
            if (inData && pending.contains("\r\n.\r\n")) {
                const qsizetype end = pending.indexOf("\r\n.\r\n");
                data = pending.left(end + 2);
                pending.remove(0, end + 5);
                inData = false;
                say("250 2.0.0 Ok: queued");
            }
            if (quit)
                break;
        }
        ::close(client);
    }

    QByteArray m_rcptReply;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace zentaro::test
