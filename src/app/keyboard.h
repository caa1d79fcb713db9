#pragma once

struct Program;
class Host;

// Key down with a virtual-key code.
void onKeyDown(Program& program, Host& host, int virtualKey);
