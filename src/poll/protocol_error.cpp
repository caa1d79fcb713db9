#include "poll/protocol_error.h"

void RecordError(ProtocolError& errors, int code, int value) {
    if (code < 0) return;
    errors.lastCode = code;
    errors.lastValue = value;
    errors.count.fetch_add(1);
    if (errors.observer) errors.observer(errors.observerContext, code, value);
}
