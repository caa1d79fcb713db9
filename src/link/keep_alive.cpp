#include <chrono>
#include <mutex>
#include <stop_token>
#include <thread>

#include "link/link_internal.h"
#include "link/links.h"
#include "model/program.h"

namespace {

// Every period, one keep-alive step for whichever link is open; a stop request
// wakes the wait at once.
void KeepAliveLoop(std::stop_token stop, Program& program) {
    LinkState& link = program.link;
    std::unique_lock<std::mutex> lock(link.keepAliveLock);
    while (!stop.stop_requested()) {
        const auto period = std::chrono::milliseconds(link.keepAlivePeriodMs.load());
        link.keepAliveWake.wait_for(lock, stop, period, [] { return false; });
        if (stop.stop_requested()) return;
        lock.unlock();
        KeepAliveStep(program);
        lock.lock();
    }
}

}  // namespace

void StartKeepAlive(Program& program) {
    LinkState& link = program.link;
    if (link.keepAlive.joinable()) return;
    link.keepAlive = std::jthread(KeepAliveLoop, std::ref(program));
}

void StopKeepAlive(Program& program) {
    LinkState& link = program.link;
    if (!link.keepAlive.joinable()) return;
    link.keepAlive.request_stop();
    link.keepAlive.join();
}
