#pragma once

#include <string>

#include "model/protocol_error.h"
#include "model/radio_network.h"
#include "model/setup_state.h"

struct Program;
class Host;

// File menu commands on the network file: a dialog, then the files layer, its
// result shown in a box.
void CommandOpenNetworkFile(Program& program, Host& host);  // 3073
void CommandSaveNetworkFile(Program& program, Host& host);  // 3075
// Writes "<serial>.dat"; a failure is shown in a box when there is a host.
bool WriteSettingsReport(const std::string& folder, const RadioNetwork& network, const SetupState& setup,
                         ProtocolError& errors, Host* host, int radio);
