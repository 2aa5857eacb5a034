// The latency proxy as a program of its own, to put a round-trip time between any program of
// the suite (the shell, a script run) and PostgreSQL by hand:
//
//   latency_proxy RTT_MS [SERVER_PORT]
//
// Prints the port it listens on (127.0.0.1), then the round trips counted so far each time
// they change (at most once a second). Ends with Ctrl+C.

#include "LatencyProxy.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "uso: latency_proxy RTT_MS [PUERTO_DEL_SERVIDOR]\n");
        return 2;
    }
    zentaro::bench::LatencyProxy proxy(argc > 2 ? std::atoi(argv[2]) : 5432);
    proxy.setRoundTrip(std::chrono::milliseconds(std::atoi(argv[1])));
    std::printf("escuchando en 127.0.0.1:%d\n", proxy.port());
    std::fflush(stdout);
    long long shown = -1;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (proxy.roundTrips() != shown) {
            shown = proxy.roundTrips();
            std::printf("viajes de ida y vuelta: %lld\n", shown);
            std::fflush(stdout);
        }
    }
}
