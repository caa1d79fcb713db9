#pragma once
#include <array>
#include <atomic>
#include <cstdint>

// What went wrong in the bytes from the radios, by the number the recorder
// stores. Number 32 names two faults; the second carries a marker bit above the
// number so each keeps its own counter (FaultNumber strips it).
enum class ProtocolFault : int {
    UnknownFrameType = 1,            // value: the byte
    MasterEchoUnknownAddress = 3,    // value: the address offset
    HopSerialOutOfRange = 4,         // value: serial / 100000
    ReplyUnknownAddress = 8,         // value: the address offset
    MasterStatusBadCheck = 20,       // value: the check value
    TrafficReportBadCheck = 21,      // value: the check value
    DiagnosticsBadCheck = 22,        // value: the check value (0xFF: hop bytes never came)
    DiagnosticsTooManyHops = 27,     // value: the hop count
    ReceiveBeyondRing = 30,          // value: the byte count asked for
    TrafficSerialTooLow = 32,        // value: serial byte 3
    TraceBadCheck = 32 | 0x100,      // value: the check value
    TraceTooManyHops = 37,           // value: the hop count
    RadioTableFull = 40,             // value: serial / 100000
};

constexpr int FaultNumber(ProtocolFault fault) { return int(fault) & 0xFF; }

// One counter per fault, as faults are recorded.
class FaultCounters {
public:
    static constexpr int kKinds = 13;
    int count(ProtocolFault fault) const { return counts[size_t(Index(fault))].load(); }
    void add(ProtocolFault fault) { counts[size_t(Index(fault))].fetch_add(1); }
    int total() const {
        int sum = 0;
        for (const auto& c : counts) sum += c.load();
        return sum;
    }

private:
    static constexpr int Index(ProtocolFault fault) {
        switch (fault) {
            case ProtocolFault::UnknownFrameType: return 0;
            case ProtocolFault::MasterEchoUnknownAddress: return 1;
            case ProtocolFault::HopSerialOutOfRange: return 2;
            case ProtocolFault::ReplyUnknownAddress: return 3;
            case ProtocolFault::MasterStatusBadCheck: return 4;
            case ProtocolFault::TrafficReportBadCheck: return 5;
            case ProtocolFault::DiagnosticsBadCheck: return 6;
            case ProtocolFault::DiagnosticsTooManyHops: return 7;
            case ProtocolFault::ReceiveBeyondRing: return 8;
            case ProtocolFault::TrafficSerialTooLow: return 9;
            case ProtocolFault::TraceBadCheck: return 10;
            case ProtocolFault::TraceTooManyHops: return 11;
            case ProtocolFault::RadioTableFull: return 12;
        }
        return 0;
    }
    std::array<std::atomic<int>, kKinds> counts{};
};

// A link or file failure: the system's error number and where it happened.
struct SystemFailure {
    std::atomic<int> error{0};
    std::atomic<int> where{0};
    std::atomic<int> count{0};
};

// The error recorder. lastCode/lastValue/count are what every fault and failure
// leaves for the screens and files, as they always have; `faults` and `failures`
// keep the two kinds apart, so a protocol number is never read as an errno.
// Link threads record too, so the fields are atomic.
struct ProtocolError {
    enum class Kind : int { None, Fault, Failure };

    std::atomic<int> lastCode{0};
    std::atomic<int> lastValue{0};
    std::atomic<int> count{0};
    std::atomic<Kind> lastKind{Kind::None};
    FaultCounters faults;
    std::atomic<ProtocolFault> lastFault{ProtocolFault::UnknownFrameType};
    SystemFailure failures;
    // Sees every record as it is made (the capture decoder lists them all, not
    // only the last), with its kind: a fault's code is its number, a failure's
    // the errno. Set before any thread records; null: nobody listens.
    void (*observer)(void* context, Kind kind, int code, int value) = nullptr;
    void* observerContext = nullptr;
};

// A fault in the bytes from the radios.
void RecordFault(ProtocolError& errors, ProtocolFault fault, int value);
// A link or file failure: `error` is the errno (a negative one is neither stored
// nor counted), `where` a location code.
void RecordFailure(ProtocolError& errors, int error, int where);
