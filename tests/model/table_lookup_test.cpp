// FindRadio answers from an index beside the records; these tests hold every answer
// against a plain scan of the records after each kind of change to the table.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "model/program.h"
#include "model/radio_table.h"

namespace {

// The first slot in from..radioCount holding the serial, read straight off the records.
int ScanFor(const RadioNetwork& n, uint32_t serial, int from) {
    for (int i = std::max(from, 0); i <= std::min(n.radioCount, kMaxRadios); ++i)
        if (n.radios[static_cast<size_t>(i)].serialNumber == serial) return i;
    return -1;
}

class RadioLookup : public ::testing::Test {
protected:
    void SetUp() override {
        p = std::make_unique<Program>();
        p->clock = &clock;
        NewNetworkReset(p->network, p->poll, p->request, p->log, p->clock);
    }
    RadioNetwork& net() { return p->network; }

    // Every serial in the table, and some that are not, from every starting slot used.
    void ExpectLookupsAgreeWithTheRecords(const std::vector<uint32_t>& absent = {}) {
        std::vector<uint32_t> serials = absent;
        for (int i = 0; i <= net().radioCount; ++i)
            serials.push_back(net().radios[static_cast<size_t>(i)].serialNumber);
        for (uint32_t s : serials)
            for (int from : {0, 1, 2, 7})
                ASSERT_EQ(FindRadio(net(), s, from), ScanFor(net(), s, from)) << s << " from " << from;
    }

    ManualClock clock;
    std::unique_ptr<Program> p;
};

TEST_F(RadioLookup, DuplicatesAnswerTheFirstSlotUntilItIsDeleted) {
    for (uint32_t s : {5000001u, 5000002u, 5000003u}) AppendRadio(p->network, p->errors, s);
    EXPECT_EQ(AppendRadio(p->network, p->errors, 5000002), 4);  // an append without a search may duplicate
    EXPECT_EQ(FindRadio(net(), 5000002, 1), 2);
    EXPECT_EQ(FindRadio(net(), 5000002, 3), 4);
    EXPECT_TRUE(DeleteRadio(net(), 5000002));
    EXPECT_EQ(FindRadio(net(), 5000002, 1), 3);  // the duplicate, one slot lower
    EXPECT_EQ(FindRadio(net(), 5000003, 1), 2);
    ExpectLookupsAgreeWithTheRecords({5000004});
}

TEST_F(RadioLookup, SerialsWrittenStraightIntoTheRecordsAreStillFound) {
    for (uint32_t s = 1; s <= 20; ++s) AppendRadio(p->network, p->errors, 3000000 + s);
    ASSERT_EQ(FindRadio(net(), 3000005, 1), 5);
    // A record rewritten behind the table's back, and the count lowered.
    net().radios[5].serialNumber = 4000005;
    net().radios[9].serialNumber = 3000005;
    EXPECT_EQ(FindRadio(net(), 3000005, 1), 9);
    EXPECT_EQ(FindRadio(net(), 4000005, 1), 5);
    net().radioCount = 8;
    EXPECT_EQ(FindRadio(net(), 3000005, 1), -1);
    EXPECT_EQ(FindRadio(net(), 3000012, 1), -1);
    // A duplicate placed below an indexed radio is seen after a rebuild.
    net().radioCount = 20;
    net().radios[2].serialNumber = 3000012;
    RebuildRadioIndex(net());
    EXPECT_EQ(FindRadio(net(), 3000012, 1), 2);
    ExpectLookupsAgreeWithTheRecords({3000002});
}

TEST_F(RadioLookup, ATableRewrittenTwiceBehindItsBackIsFoundAgain) {
    for (uint32_t s = 1; s <= kMaxRadios; ++s) AppendRadio(p->network, p->errors, 2000000 + s);
    for (uint32_t round : {1u, 2u}) {
        // Every record gets a new serial: each lookup misses the index and scans.
        for (int i = 1; i <= kMaxRadios; ++i)
            net().radios[static_cast<size_t>(i)].serialNumber = 6000000 * round + static_cast<uint32_t>(i);
        for (int i = 1; i <= kMaxRadios; ++i) ASSERT_EQ(FindRadio(net(), 6000000 * round + i, 1), i);
    }
    EXPECT_LT(net().serialIndex.entries, RadioIndex::kBuckets);  // stale entries were cleared out
    ExpectLookupsAgreeWithTheRecords({2000001, 6000001});
}

TEST_F(RadioLookup, TheMasterSlotIsCheckedOnlyFromZero) {
    net().radios[0].serialNumber = 9200000;
    AppendRadio(p->network, p->errors, 9200000);
    EXPECT_EQ(FindRadio(net(), 9200000, 0), 0);
    EXPECT_EQ(FindRadio(net(), 9200000, 1), 1);
    net().radioCount = -1;  // a damaged count finds nothing, not even the master
    EXPECT_EQ(FindRadio(net(), 9200000, 0), -1);
}

// Random operations of every kind that moves or writes serials, checked after each.
TEST_F(RadioLookup, AgreesWithTheRecordsThroughEveryOperation) {
    std::mt19937 random(11);
    auto someSerial = [&] { return static_cast<uint32_t>(2000000 + random() % 400); };  // many repeats
    for (int step = 0; step < 3000; ++step) {
        switch (random() % 8) {
            case 0:
            case 1:
            case 2: FindOrAddRadio(p->network, p->errors, *p->live, someSerial()); break;
            case 3: AppendRadio(p->network, p->errors, someSerial()); break;
            case 4: DeleteRadio(net(), someSerial()); break;
            case 5:
                if (net().radioCount > 0) {
                    const size_t slot = 1 + random() % static_cast<size_t>(net().radioCount);
                    net().radios[slot].serialNumber = someSerial();
                    RebuildRadioIndex(net());
                }
                break;
            case 6: ResetMeasurements(p->network, p->log, p->clock); break;
            default:
                if (random() % 40 == 0) NewNetworkReset(p->network, p->poll, p->request, p->log, p->clock);
                break;
        }
        ExpectLookupsAgreeWithTheRecords({someSerial()});
        if (HasFatalFailure()) return;
    }
}

TEST_F(RadioLookup, AFullTableFindsEveryRadioAndKeepsRefusing) {
    for (uint32_t s = 1; s <= kMaxRadios; ++s)
        ASSERT_EQ(AppendRadio(p->network, p->errors, 5000000 + s * 7), static_cast<int>(s));
    for (uint32_t s = 1; s <= kMaxRadios; ++s)
        ASSERT_EQ(FindRadio(net(), 5000000 + s * 7, 1), static_cast<int>(s));
    // Unknown radios keep arriving: each is refused, and the index stays usable.
    for (uint32_t s = 1; s <= 5000; ++s) ASSERT_EQ(FindOrAddRadio(p->network, p->errors, *p->live, 8000000 + s), -1);
    EXPECT_EQ(FindRadio(net(), 5000000 + 2047 * 7, 1), 2047);
    ExpectLookupsAgreeWithTheRecords({8000001});
}

}  // namespace
