#include <chrono>
#include <mutex>
#include <stop_token>
#include <thread>

#include "link/link_internal.h"
#include "link/links.h"

namespace {

// Every period, one keep-alive step for whichever link is open; a stop request
// wakes the wait at once.
void KeepAliveLoop(std::stop_token stop, LinkChannels channels) {
    LinkState& link = channels.link;
    std::unique_lock<std::mutex> lock(link.keepAliveLock);
    while (!stop.stop_requested()) {
        const auto period = std::chrono::milliseconds(link.keepAlivePeriodMs.load());
        link.keepAliveWake.wait_for(lock, stop, period, [] { return false; });
        if (stop.stop_requested()) return;
        lock.unlock();
        KeepAliveStep(channels);
        lock.lock();
    }
}

}  // namespace

void StartKeepAlive(const LinkChannels& channels) {
    LinkState& link = channels.link;
    if (link.keepAlive.joinable()) return;
    link.keepAlive = std::jthread(KeepAliveLoop, channels);
}

void StopKeepAlive(LinkState& link) {
    if (!link.keepAlive.joinable()) return;
    link.keepAlive.request_stop();
    link.keepAlive.join();
}
