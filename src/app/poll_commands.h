#pragma once

struct Program;
class Host;

// The poll menu's prompts: they ask, the engine takes the answer, a refusal is
// shown as the other typed-number refusals are.
void PollRadioValue(Program& program, Host& host);   // menu 203 (Screen2 only)
void PollSingleRadio(Program& program, Host& host);  // key P / PollRadio elsewhere
void SetPollInterval(Program& program, Host& host);  // menu 152
