#include "platform/live_listener.h"

LiveListener& SilentLiveListener() {
    static LiveListener silent;
    return silent;
}
