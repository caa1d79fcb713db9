#pragma once
#include <string>
#include <vector>

#include "model/link_state.h"
#include "model/protocol_error.h"
#include "model/radio_network.h"

struct Program;

// Reads a network file into the table. On a file that cannot be read the table and
// networkFileName stay as they were and `error` names the reason. A file that loads
// can still have had lines left out: `warnings` says which, one text each.
bool ReadNetworkFile(Program& program, const std::string& path, std::string& error, std::vector<std::string>& warnings);
// The same, with the warnings in `error`, one a line, as the window shows them.
bool ReadNetworkFile(Program& program, const std::string& path, std::string& error);
std::string NetworkFileText(const RadioNetwork& network, const LinkState& link);
// A relative path is written inside `folder`.
bool WriteNetworkFile(const std::string& folder, const RadioNetwork& network, const LinkState& link,
                      ProtocolError& errors, const std::string& path, std::string& error);
