// The poll cycle's named phases and the number the status line shows for them.
#include <gtest/gtest.h>

#include <vector>

#include "engine/poll_phases.h"
#include "model/poll_phase.h"

namespace {

using enum PollOrder;
using enum PollStage;

TEST(PollPhase, NumberAndPhaseStandForEachOther) {
    struct Case {
        int number;
        PollOrder order;
        PollStage stage;
        int left;
    };
    const Case cases[] = {
        {0, sequential, polling, 0}, {1, random, polling, 0},    {-78, sequential, sweep, 39},
        {-33, random, sweep, 17},    {-1, random, sweep, 1},     {2, sequential, readBack, 1},
        {23, random, readBack, 11},  {24, sequential, store, 1}, {35, random, store, 6},
        {36, sequential, write, 1},  {45, random, write, 5},     {46, sequential, contact, 1},
        {61, random, contact, 8},
    };
    for (const Case& c : cases) {
        const PollPhase phase = PollPhase::fromNumber(c.number);
        EXPECT_EQ(phase.order(), c.order) << c.number;
        EXPECT_EQ(phase.stage(), c.stage) << c.number;
        EXPECT_EQ(phase.left(), c.left) << c.number;
        EXPECT_EQ(phase.number(), c.number);
    }
}

TEST(PollPhase, AWriteStepsThroughEveryStageBackToItsOrder) {
    std::vector<int> shown;
    for (PollPhase phase = RemoteWriteStart(random); !phase.polling() && shown.size() < 40; phase = AfterRequest(phase))
        shown.push_back(phase.number());
    std::vector<int> expected;
    for (int n = 61; n >= 3; n -= 2) expected.push_back(n);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(AfterRequest(PollPhase::fromNumber(3)), PollPhase::polling(random));
}

}  // namespace
