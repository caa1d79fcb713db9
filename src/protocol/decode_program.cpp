// Decoding on a whole program: the context and hooks the decoders are given.
#include "model/program.h"
#include "model/radio_table.h"
#include "model/setup_table.h"
#include "platform/ids.h"
#include "protocol/decoders.h"
#include "protocol/protocol.h"

namespace {

class ProgramHooks final : public DecodeHooks {
public:
    explicit ProgramHooks(Program& program) : program(program) {}
    int appendRadio(uint32_t serial, int keep) override {
        // A setup sequence or parameter sweep keeps the radio it works on.
        const PollState& poll = program.poll;
        const bool setup = !poll.pollMode.polling() || poll.singleParamPolls > 0;
        RadioNetwork& network = program.network;
        const int64_t forgotten = network.forgottenRadios;
        const int r = AddRadioFromAir(network, program.errors, serial, keep, setup ? poll.currentRadio : -1);
        // A reused slot shows another radio now: its whole row is drawn afresh,
        // not only the fields the reply or report brings.
        const int screen = program.display.screenNumber;
        if (r > 0 && network.forgottenRadios != forgotten && program.live &&
            (screen == screen::screen0 || screen == screen::screen1) && r >= network.firstVisibleRow &&
            r <= network.lastVisibleRow)
            program.live->radioRow(r);
        return r;
    }
    int storeSetupValue(int radio, int address, uint8_t value, ProtocolFault fault) override {
        return ::StoreSetupValue(program.setup, program.network, program.errors, radio, address, value,
                                 FaultNumber(fault));
    }
    void readConfirmation(int radio, int offset) override {
        if (program.onReadEcho) program.onReadEcho(program, radio, offset);
    }
    void writeConfirmation(int radio, int offset, int value) override {
        if (program.onWriteEcho) program.onWriteEcho(program, radio, offset, value);
    }
    void masterStatus() override {
        if (program.onMasterStatus) program.onMasterStatus(program);
    }

private:
    Program& program;
};

}  // namespace

void DecodeReply(Program& program, std::span<const uint8_t> frame, uint8_t check) {
    ProgramHooks hooks(program);
    DecodeContext context{program.network,
                          program.setup,
                          program.errors,
                          *program.clock,
                          program.live ? *program.live : SilentLiveListener(),
                          program.poll,
                          program.display.screenNumber,
                          hooks};
    DecodeReply(context, frame, check);
}
