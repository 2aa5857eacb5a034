#pragma once

// A TCP proxy on 127.0.0.1 that puts a chosen round-trip time between a program and its
// PostgreSQL server, as a branch office a few milliseconds from its server would have, and
// counts the round trips the program makes.
//
// A round trip is counted when the program sends after the server has answered it to the
// end: PostgreSQL ends each answer to a Sync or a simple query with ReadyForQuery ('Z'),
// the point where the server has nothing more to say until it is asked again. Bytes of an
// answer that reach the program while it is still sending (a pipeline's results streaming
// back) do not count, since the program did not stop to wait for them; every statement
// that waits for its own answer does. The exchanges of a connection's start-up
// (authentication) come before its first ReadyForQuery and are not counted; ending the
// connection (Terminate) counts as one.
//
// Half of the round-trip time is added to each direction; each chunk is delivered at the
// time it was read plus that half, so a stream pays the delay once, not once a chunk.
// Header-only, so that a bench can run it on threads of its own (bench/ makes one program
// of every .cpp file).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zentaro::bench {

class LatencyProxy
{
public:
    using Clock = std::chrono::steady_clock;

    // Listens on 127.0.0.1 (a free port) and forwards every connection to targetPort.
    explicit LatencyProxy(int targetPort = 5432) : m_targetPort(targetPort)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listener, 16) != 0)
            throw std::runtime_error("the proxy cannot listen on 127.0.0.1");
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }

    ~LatencyProxy()
    {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_acceptor.join();
        std::lock_guard lock(m_linksMutex);
        for (auto &link : m_links)
            link->stop();
        m_links.clear();
    }

    LatencyProxy(const LatencyProxy &) = delete;
    LatencyProxy &operator=(const LatencyProxy &) = delete;

    int port() const { return m_port; }

    // The round-trip time added from now on, for every connection.
    void setRoundTrip(std::chrono::microseconds rtt) { m_halfDelayUs = rtt.count() / 2; }
    long long roundTrips() const { return m_roundTrips; }
    void resetCount() { m_roundTrips = 0; }

private:
    struct Chunk
    {
        Clock::time_point due;
        std::string bytes;
    };

    // One direction of one connection: a reader that stamps what it reads, a writer that
    // delivers it when due.
    struct Pipe
    {
        std::mutex mutex;
        std::condition_variable ready;
        std::deque<Chunk> chunks;
        bool closed = false;
    };

    // Follows the server's messages to find where an answer ends (ReadyForQuery). Before the
    // start-up, an SSL or GSS request is answered with one byte that is not a message.
    struct AnswerReader
    {
        bool expectOneByte = false;
        std::string header;       // type byte and length, while incomplete
        std::uint64_t remaining = 0;
        char type = 0;

        // True when `bytes` completes a ReadyForQuery.
        bool feed(const std::string &bytes)
        {
            bool answered = false;
            for (std::size_t i = 0; i < bytes.size();) {
                if (expectOneByte) {
                    expectOneByte = false;
                    ++i;
                    continue;
                }
                if (remaining > 0) {
                    const std::size_t take = std::min<std::uint64_t>(remaining, bytes.size() - i);
                    remaining -= take;
                    i += take;
                    if (remaining == 0 && type == 'Z')
                        answered = true;
                    continue;
                }
                header += bytes[i++];
                if (header.size() < 5)
                    continue;
                type = header[0];
                const auto *b = reinterpret_cast<const unsigned char *>(header.data() + 1);
                const std::uint32_t length = (std::uint32_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
                remaining = length >= 4 ? length - 4 : 0;
                header.clear();
                if (remaining == 0 && type == 'Z')
                    answered = true;
            }
            return answered;
        }
    };

    struct Link
    {
        int client = -1, server = -1;
        Pipe toServer, toClient;
        std::vector<std::thread> threads;
        void stop()
        {
            ::shutdown(client, SHUT_RDWR);
            ::shutdown(server, SHUT_RDWR);
            for (Pipe *pipe : {&toServer, &toClient}) {
                std::lock_guard lock(pipe->mutex);
                pipe->closed = true;
                pipe->ready.notify_all();
            }
            for (auto &t : threads)
                if (t.joinable())
                    t.join();
            ::close(client);
            ::close(server);
        }
    };

    void acceptLoop()
    {
        while (!m_stopping) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(std::uint16_t(m_targetPort));
            if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            int yes = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            auto link = std::make_unique<Link>();
            link->client = client;
            link->server = server;
            Link *l = link.get();
            // Shared between the two directions of the link: set when the server has
            // delivered a whole answer, cleared when the client speaks again.
            auto answered = std::make_shared<std::atomic<bool>>(false);
            auto sslRequest = std::make_shared<std::atomic<int>>(-1);   // -1 unknown, 0 no, 1 yes
            auto answers = std::make_shared<AnswerReader>();
            l->threads.emplace_back([this, l, answered, sslRequest] {
                pump(l->client, l->toServer, [this, answered, sslRequest](const std::string &bytes) {
                    if (sslRequest->load() < 0 && bytes.size() >= 8) {
                        // SSLRequest 80877103, GSSENCRequest 80877104: answered with one byte.
                        const auto *b = reinterpret_cast<const unsigned char *>(bytes.data() + 4);
                        const std::uint32_t code = (std::uint32_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
                        sslRequest->store(code == 80877103u || code == 80877104u ? 1 : 0);
                    }
                    if (answered->exchange(false))
                        ++m_roundTrips;
                });
            });
            l->threads.emplace_back([l] { deliver(l->toServer, l->server); });
            l->threads.emplace_back([this, l] { pump(l->server, l->toClient, [](const std::string &) {}); });
            l->threads.emplace_back([this, l, answered, sslRequest, answers] {
                deliver(l->toClient, l->client, [answered, sslRequest, answers](const std::string &bytes) {
                    if (sslRequest->exchange(0) == 1)
                        answers->expectOneByte = true;
                    // Set before the bytes leave: the client cannot answer them sooner.
                    if (answers->feed(bytes))
                        answered->store(true);
                });
            });
            std::lock_guard lock(m_linksMutex);
            m_links.push_back(std::move(link));
        }
    }

    template<typename OnRead>
    void pump(int from, Pipe &pipe, OnRead onRead)
    {
        std::string buffer(1 << 16, '\0');
        for (;;) {
            const ssize_t n = ::recv(from, buffer.data(), buffer.size(), 0);
            std::lock_guard lock(pipe.mutex);
            if (n <= 0) {
                pipe.closed = true;
                pipe.ready.notify_all();
                return;
            }
            std::string bytes(buffer.data(), std::size_t(n));
            onRead(bytes);
            pipe.chunks.push_back({Clock::now() + std::chrono::microseconds(m_halfDelayUs.load()), std::move(bytes)});
            pipe.ready.notify_all();
        }
    }

    static void deliver(Pipe &pipe, int to, const std::function<void(const std::string &)> &beforeSend = {})
    {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock lock(pipe.mutex);
                pipe.ready.wait(lock, [&] { return pipe.closed || !pipe.chunks.empty(); });
                if (pipe.chunks.empty()) {
                    ::shutdown(to, SHUT_WR);
                    return;
                }
                chunk = std::move(pipe.chunks.front());
                pipe.chunks.pop_front();
            }
            std::this_thread::sleep_until(chunk.due);
            if (beforeSend)
                beforeSend(chunk.bytes);
            for (std::size_t sent = 0; sent < chunk.bytes.size();) {
                const ssize_t n = ::send(to, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += std::size_t(n);
            }
        }
    }

    int m_targetPort;
    int m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stopping {false};
    std::atomic<long long> m_halfDelayUs {0};
    std::atomic<long long> m_roundTrips {0};
    std::thread m_acceptor;
    std::mutex m_linksMutex;
    std::list<std::unique_ptr<Link>> m_links;
};

} // namespace zentaro::bench
