#include "model/protocol_error.h"

namespace {

void RecordLast(ProtocolError& errors, ProtocolError::Kind kind, int code, int value) {
    errors.lastCode = code;
    errors.lastValue = value;
    errors.lastKind = kind;
    errors.count.fetch_add(1);
    if (errors.observer) errors.observer(errors.observerContext, kind, code, value);
}

}  // namespace

void RecordFault(ProtocolError& errors, ProtocolFault fault, int value) {
    errors.faults.add(fault);
    errors.lastFault = fault;
    RecordLast(errors, ProtocolError::Kind::Fault, FaultNumber(fault), value);
}

void RecordFailure(ProtocolError& errors, int error, int where) {
    if (error < 0) return;
    errors.failures.error = error;
    errors.failures.where = where;
    errors.failures.count.fetch_add(1);
    RecordLast(errors, ProtocolError::Kind::Failure, error, where);
}
