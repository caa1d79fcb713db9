// CPU cost of an open link on which nothing happens: the serial writer thread
// waiting on its empty queue, the TCP thread waiting in poll, the UDP socket left
// to the window's event loop, the keep-alive thread waiting for its period. Reported as per cent of one core over the
// measured wall time (process CPU from getrusage), so the figure covers every
// thread of the program while the main thread sleeps.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "app/link_commands.h"
#include "app/window_proc.h"
#include "link/links.h"
#include "model/program.h"
#include "platform/clock.h"
#include "support/scripted_host.h"

namespace {

constexpr int kIdleSeconds = 5;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Sleeps the main thread for the idle period and reports the process's CPU share.
void MeasureIdle(benchmark::State& state) {
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        double cpuStart = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
        cpu += ProcessCpuSeconds() - cpuStart;
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wall += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["cpu_percent_of_one_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
}

void BM_IdleSerialLink(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    setenv("CORVANE_COM1", name, 1);
    SystemClock clock;
    ScriptedHost host;
    auto program = CreateProgram(clock);
    if (!OpenSerialLink(*program, host)) {
        state.SkipWithError("serial link did not open");
    } else {
        StartKeepAlive({program->link, program->ring, program->errors});
        MeasureIdle(state);
        StopKeepAlive(program->link);
        CloseSerialLink(*program, host);
    }
    close(slave);
    close(master);
}
BENCHMARK(BM_IdleSerialLink)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_IdleTcpLink(benchmark::State& state) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    SystemClock clock;
    auto program = CreateProgram(clock);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(ntohs(address.sin_port));
    if (!OpenTcpLink(*program)) {
        state.SkipWithError("TCP link did not open");
    } else {
        int peer = accept(listener, nullptr, nullptr);
        MeasureIdle(state);
        CloseTcpLink(*program);
        close(peer);
    }
    close(listener);
}
BENCHMARK(BM_IdleTcpLink)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_IdleUdpLink(benchmark::State& state) {
    int peer = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(peer, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(peer, reinterpret_cast<sockaddr*>(&address), &length);

    SystemClock clock;
    ScriptedHost host;
    auto program = CreateProgram(clock);
    program->link.ipAddressText = "127.0.0.1";
    program->link.portText = std::to_string(ntohs(address.sin_port));
    host.answer(true, "");
    OpenUdpLink(*program, host);  // no thread: the window's event loop watches the socket
    StartKeepAlive({program->link, program->ring, program->errors});
    MeasureIdle(state);
    StopKeepAlive(program->link);
    CloseUdpLink(*program, host);
    close(peer);
}
BENCHMARK(BM_IdleUdpLink)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
