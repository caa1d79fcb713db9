#pragma once
#include <string>

#include "model/link_state.h"
#include "model/protocol_error.h"
#include "model/radio_network.h"

struct Program;
class Host;

// Reads a network file into the table. On a file that cannot be read the table and
// networkFileName stay as they were and `error` names the reason.
bool ReadNetworkFile(Program& program, const std::string& path, std::string& error);
std::string NetworkFileText(const RadioNetwork& network, const LinkState& link);
bool WriteNetworkFile(const RadioNetwork& network, const LinkState& link, ProtocolError& errors,
                      const std::string& path, std::string& error);

void CommandOpenNetworkFile(Program& program, Host& host);  // 3073
void CommandSaveNetworkFile(Program& program, Host& host);  // 3075
