// Opening the endpoints the program reaches the network through.
#pragma once

#include <netinet/in.h>

#include <string>

#include "options.h"

namespace radiosim {

// Each returns a non-blocking fd, or -1 with a message in `error`.
int ListenTcp(const Endpoint& at, uint16_t& boundPort, std::string& error);
int BindUdp(const Endpoint& at, uint16_t& boundPort, std::string& error);
// A pseudo-terminal in raw mode; returns the master side. The slave side is
// left closed until the program opens it, so a closed port can be noticed.
int OpenRawPty(std::string& slavePath, std::string& error);
// Accepts one waiting connection; -1 when none.
int AcceptClient(int listenFd, std::string& peer);

// True when nobody holds the slave side of the pty open.
bool PtyHungUp(int masterFd);

std::string AddressText(const sockaddr_in& a);

}  // namespace radiosim
