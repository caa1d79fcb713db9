#pragma once
#include <string>

struct Program;
class Host;

// Reads a network file into the table. On a file that cannot be read the table and
// networkFileName stay as they were and `error` names the reason.
bool ReadNetworkFile(Program& program, const std::string& path, std::string& error);
std::string NetworkFileText(const Program& program);
bool WriteNetworkFile(Program& program, const std::string& path, std::string& error);

void CommandOpenNetworkFile(Program& program, Host& host);  // 3073
void CommandSaveNetworkFile(Program& program, Host& host);  // 3075
