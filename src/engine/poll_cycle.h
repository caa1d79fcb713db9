#pragma once

#include "model/poll_state.h"

struct Program;
class Host;
class TickWindow;

// One 100 ms timer tick: send, receive, build, log, repaint.
void PollTick(Program& program, TickWindow& window);

// A valid master status frame arrived on a TCP link: the moment the waiting
// request is sent (at most once per clock second). The decoder reaches it through
// Program::onMasterStatus; the poll cycle owns the send.
void OnMasterStatusFrame(Program& program);

// Mode changes.
void PollRandomMode(PollState& poll);                   // menu 201, key R
void PollSequentialMode(PollState& poll);               // menu 202, key S
void PollRadioValue(Program& program, Host& host);      // menu 203 (Screen2 only)
void ReadAllSetupParameters(Program& program);          // key P / PollRadio on Screen2
void PollSingleRadio(Program& program, Host& host);     // key P / PollRadio elsewhere
void SetPollInterval(Program& program, Host& host);     // menu 152
