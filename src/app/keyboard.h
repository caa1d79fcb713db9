#pragma once

struct Program;
class Host;

// Key down with a virtual-key code.
void OnKeyDown(Program& program, Host& host, int virtualKey);
