#pragma once

// The virtual-key code the window procedure expects for a Qt key, or 0 for none.
int VirtualKeyFor(int qtKey, bool keypad);
