#pragma once
#include <cstdint>

// The order normal polling goes in; every sweep and remote write returns to it.
enum class PollOrder : uint8_t { sequential, random };

// What the poll cycle builds next.
enum class PollStage : uint8_t {
    polling,   // normal polling in its order
    sweep,     // reading every setup parameter of one radio
    readBack,  // remote write: reading the written location until the radio answers
    store,     // remote write: committing the acknowledged value
    write,     // remote write: sending the value once the radio answered the contact read
    contact,   // remote write: reading the location before writing it
};

// The poll cycle's phase: its stage, the requests the stage has left and the order
// polling returns to. Screens, the status line and files show it as one number,
// derived here: 0 sequential, 1 random, below 0 a sweep, 2..61 a remote write,
// its lowest bit the order. Only the engine moves a phase on; anything else may
// read it or, when the whole program is reset, start over in plain polling.
class PollPhase {
public:
    // Requests of each remote-write stage when it starts.
    static constexpr int32_t kContactReads = 8;
    static constexpr int32_t kWrites = 5;
    static constexpr int32_t kStores = 6;
    static constexpr int32_t kReadBacks = 11;
    // The requests of a whole remote write, from the first contact read on.
    static constexpr int32_t kWriteSteps = kReadBacks + kStores + kWrites + kContactReads;

    constexpr PollPhase() = default;  // random polling, as at start-up

    static constexpr PollPhase polling(PollOrder order) { return PollPhase(order, PollStage::polling, 0); }
    // `steps` counted from plain polling: a remote write with that many requests
    // still to go when positive, a sweep with that many reads left when negative.
    // Kept within what the shown number can hold.
    static constexpr PollPhase at(PollOrder order, int64_t steps) {
        if (steps > kWriteSteps) steps = kWriteSteps;
        if (steps < -kMaxSweepReads) steps = -kMaxSweepReads;
        if (steps < 0) return PollPhase(order, PollStage::sweep, static_cast<int32_t>(-steps));
        const auto s = static_cast<int32_t>(steps);
        if (s == 0) return polling(order);
        if (s <= kReadBacks) return PollPhase(order, PollStage::readBack, s);
        if (s <= kReadBacks + kStores) return PollPhase(order, PollStage::store, s - kReadBacks);
        if (s <= kReadBacks + kStores + kWrites) return PollPhase(order, PollStage::write, s - kReadBacks - kStores);
        return PollPhase(order, PollStage::contact, s - kReadBacks - kStores - kWrites);
    }
    // The phase a shown number stands for; above 61 the whole write is still to go.
    static constexpr PollPhase fromNumber(int32_t number) {
        const int32_t bit = number & 1;
        return at(bit ? PollOrder::random : PollOrder::sequential, (int64_t(number) - bit) / 2);
    }

    constexpr PollOrder order() const { return order_; }
    constexpr PollStage stage() const { return stage_; }
    // Requests left in this stage (sweep: reads left; 0 while polling).
    constexpr int32_t left() const { return left_; }
    constexpr bool polling() const { return stage_ == PollStage::polling; }
    constexpr bool sweeping() const { return stage_ == PollStage::sweep; }
    constexpr bool remoteWrite() const { return stage_ >= PollStage::readBack; }
    constexpr bool polls(PollOrder order) const { return polling() && order_ == order; }

    // Signed requests until plain polling resumes (see `at`).
    constexpr int32_t steps() const {
        switch (stage_) {
            case PollStage::polling: return 0;
            case PollStage::sweep: return -left_;
            case PollStage::readBack: return left_;
            case PollStage::store: return kReadBacks + left_;
            case PollStage::write: return kReadBacks + kStores + left_;
            case PollStage::contact: return kReadBacks + kStores + kWrites + left_;
        }
        return 0;
    }
    // The number the status line shows ("Mem -78", "Poll ... 44").
    constexpr int32_t number() const { return 2 * steps() + (order_ == PollOrder::random ? 1 : 0); }

    constexpr bool operator==(const PollPhase&) const = default;

private:
    // The longest sweep whose shown number still fits 32 bits.
    static constexpr int32_t kMaxSweepReads = (INT32_MAX - 1) / 2;

    constexpr PollPhase(PollOrder order, PollStage stage, int32_t left) : order_(order), stage_(stage), left_(left) {}

    PollOrder order_ = PollOrder::random;
    PollStage stage_ = PollStage::polling;
    int32_t left_ = 0;
};
