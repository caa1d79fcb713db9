#include <chrono>
#include <mutex>

#include "app/program.h"
#include "link/link_internal.h"
#include "link/links.h"

void keepAliveStep(Program& program) {
    LinkState& link = program.link;
    static const uint8_t carriageReturn = 13;
    if (link.serialPortOpen == 1) {
        if (link.rxActivity == 1)
            link.rxActivity = 0;
        else if (link.linkUp == 1)
            queueSerialText(program, "\r");
    }
    if (link.linkKind == kLinkTcp) {
        if (link.rxActivity == 1)
            link.rxActivity = 0;
        else if (link.linkUp == 1)
            TcpSend(program, &carriageReturn, 1);
    }
}

namespace {

void KeepAliveLoop(Program& program) {
    LinkState& link = program.link;
    std::unique_lock<std::mutex> lock(link.keepAliveLock);
    for (;;) {
        const auto period = std::chrono::milliseconds(link.keepAlivePeriodMs.load());
        if (link.keepAliveWake.wait_for(lock, period, [&] { return link.keepAliveStop.load(); })) return;
        lock.unlock();
        keepAliveStep(program);
        lock.lock();
    }
}

}  // namespace

void startKeepAlive(Program& program) {
    LinkState& link = program.link;
    if (link.keepAlive.joinable()) return;
    link.keepAliveStop = false;
    link.keepAlive = std::thread(KeepAliveLoop, std::ref(program));
}

void stopKeepAlive(Program& program) {
    LinkState& link = program.link;
    {
        std::lock_guard<std::mutex> hold(link.keepAliveLock);
        link.keepAliveStop = true;
    }
    link.keepAliveWake.notify_all();
    if (link.keepAlive.joinable()) link.keepAlive.join();
}
