#include <cerrno>

#include "support/protocol_fixture.h"

namespace {

using FaultTest = ProtocolTest;

// Each bad frame is counted under its own fault and shows its usual number.
TEST_F(FaultTest, EachFaultIsCountedUnderItsName) {
    struct Case {
        const char* hex;  // XOR byte appended, then spoiled where the fault needs it
        bool spoil;
        ProtocolFault fault;
        int shown;
    };
    const Case cases[] = {
        {"41", false, ProtocolFault::UnknownFrameType, 1},
        {"F0 5A 12 34 03 01 02 25 00 00 80 C0 15", true, ProtocolFault::MasterStatusBadCheck, 20},
        {"F5 4C 4B 41 00 10 01 02 24 16 00", true, ProtocolFault::TrafficReportBadCheck, 21},
        {"F5 00 12 34 00 10 01 02 24 16 00", false, ProtocolFault::TrafficSerialTooLow, 32},
        {"F8 0D 80 46 4C 4B 41 00 C8 3A 1F B3 00 80 9A 40 07 21 16 00", true, ProtocolFault::DiagnosticsBadCheck, 22},
        {"FB 0D 80 46 4C 4B 41 00 C8 3A 1F B3 00 80 9A 40 07 21 16 00", true, ProtocolFault::TraceBadCheck, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        SetUp();
        auto bytes = c.hex[2] == '\0' ? HexFrame(c.hex) : AppendXor(HexFrame(c.hex));
        if (c.spoil) bytes.back() ^= 0x5A;
        deliver(bytes);
        EXPECT_EQ(p->errors.faults.count(c.fault), 1);
        EXPECT_EQ(p->errors.faults.total(), 1);
        EXPECT_EQ(errorCode(), c.shown);
        EXPECT_EQ(p->errors.lastFault.load(), c.fault);
    }
}

TEST_F(FaultTest, LinkAndFileFailuresAreKeptApartFromFaults) {
    RecordFault(p->errors, ProtocolFault::TrafficSerialTooLow, 3);
    RecordFailure(p->errors, EPIPE, 313);  // the same number as a protocol fault
    RecordFailure(p->errors, -1, 313);     // no error number: nothing to record

    EXPECT_EQ(p->errors.faults.total(), 1);
    EXPECT_EQ(p->errors.failures.count.load(), 1);
    EXPECT_EQ(p->errors.failures.error.load(), EPIPE);
    EXPECT_EQ(p->errors.failures.where.load(), 313);
    // What the screens and files read stays as it was: the last record of either kind.
    EXPECT_EQ(p->errors.lastKind.load(), ProtocolError::Kind::Failure);
    EXPECT_EQ(errorCode(), EPIPE);
    EXPECT_EQ(errorValue(), 313);
    EXPECT_EQ(errorCount(), 2);
}

}  // namespace
