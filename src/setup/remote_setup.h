#pragma once

struct Program;
class Host;

// Screen2's list of the selected radio's setup parameters.
void drawScreen2Body(Program& program);
// "Change EPROM" / key C.
void changeSetupParameter(Program& program, Host& host);
// Key down with a virtual-key code.
void onKeyDown(Program& program, Host& host, int virtualKey);
