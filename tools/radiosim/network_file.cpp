#include "network_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace radiosim {

std::string RadioFileName(const Radio& radio) {
    char buf[32];
    if (radio.role == Role::Repeater)
        std::snprintf(buf, sizeof buf, "Rep%02d", radio.repeaterNumber);
    else
        std::snprintf(buf, sizeof buf, "Site%03d", radio.index);
    std::string name(buf);
    name.resize(8, ' ');
    return name;
}

std::optional<NetworkAddress> ProgramAddress(const Options& options, uint16_t tcpPort, uint16_t udpPort) {
    std::optional<NetworkAddress> address;
    if (options.tcp) address = NetworkAddress{options.tcp->host, tcpPort};
    else if (options.udp) address = NetworkAddress{options.udp->host, udpPort};
    if (address && address->host == "0.0.0.0") address->host = "127.0.0.1";
    return address;
}

std::string NetworkFileText(const Network& network, const std::optional<NetworkAddress>& address) {
    std::string text;
    if (address) {
        text += "IP ADDRESS " + address->host + "\r\n";
        text += "PORT NUMBER " + std::to_string(address->port) + "\r\n";
    }
    for (int i = 1; i < network.size(); ++i) {
        const Radio& r = network.at(i);
        // The network numbers at most kMaxRepeaters, so every number fits the file.
        const int repeater = r.role == Role::Repeater ? r.repeaterNumber : 0;
        char line[32];
        std::snprintf(line, sizeof line, "%8u%3d %s\r\n", static_cast<unsigned>(r.serial), repeater,
                      RadioFileName(r).c_str());
        text += line;
    }
    return text;
}

bool WriteNetworkFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = path + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot write the network file '" + path + "': " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write the network file '" + path + "': " + std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot write the network file '" + path + "': " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace radiosim
