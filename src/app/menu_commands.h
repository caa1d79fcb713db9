#pragma once

struct Program;
class Host;

// Every menu command by its id. Returns false for an unknown id.
bool OnMenuCommand(Program& program, Host& host, int id);
