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

// Points the program's decoder hooks at the poll cycle: the master-status send
// and the remote write's echoes.
void ConnectPollCycle(Program& program);

// Mode changes.
void PollRandomMode(PollState& poll);                   // menu 201, key R
void PollSequentialMode(PollState& poll);               // menu 202, key S
void ReadAllSetupParameters(Program& program);          // key P / PollRadio on Screen2

// What the window's poll prompts type in; the window prompts and words a refusal.
enum class TypedAnswer { taken, ignored, refused };
// Keeps `rowText` for the next prompt and reads that setup row, when the table has it.
void PollSetupRow(Program& program, const std::string& rowText);
// Adds the radio when new and reads it five times; refused past 24 bits.
TypedAnswer PollRadioBySerial(Program& program, const std::string& serialText);
// Any number a float holds.
TypedAnswer SetPollIntervalText(PollState& poll, const std::string& secondsText);
