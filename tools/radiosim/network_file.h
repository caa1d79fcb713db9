// The simulated network as a network file for the diagnostics program, so
// that it can open the very radios the simulator plays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "network.h"
#include "options.h"

namespace radiosim {

// Where the program should reach the master over the network, when it can.
struct NetworkAddress {
    std::string host;
    uint16_t port = 0;
};

// The TCP endpoint when there is one, else the UDP one, with the ports as
// bound; a wildcard host becomes the loopback address the program can reach.
std::optional<NetworkAddress> ProgramAddress(const Options& options, uint16_t tcpPort, uint16_t udpPort);

// The file's text: the address lines (when given), then one 20-character
// line per radio (the master excepted) in network order, each ended by CR LF.
// Repeaters keep their numbers, which run 1, 2, 3 ... down the list.
std::string NetworkFileText(const Network& network, const std::optional<NetworkAddress>& address);

// The 8-character name a radio is listed under: "Rep01   " for repeater 1,
// "Site005 " for the fifth radio when it is a slave.
std::string RadioFileName(const Radio& radio);

// Writes the text beside the target and renames it over, so a reader never
// sees half a file. False with a reason when it cannot.
bool WriteNetworkFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace radiosim
