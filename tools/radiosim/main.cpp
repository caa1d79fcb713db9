// corvane-radiosim: a simulated radio network for the diagnostics program.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "network_file.h"
#include "options.h"
#include "simulator.h"

namespace {

radiosim::Simulator* running = nullptr;

void OnSignal(int) {
    if (running) running->stop();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace radiosim;
    Options options;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane-radiosim %s\n", CORVANE_VERSION);
            return 0;
        }
    }
    switch (ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        case ParseResult::Help:
            std::fputs(HelpText(), stdout);
            return 0;
        case ParseResult::Error:
            std::fprintf(stderr, "corvane-radiosim: %s\nTry 'corvane-radiosim --help'.\n", error.c_str());
            return 2;
        case ParseResult::Run:
            break;
    }

    FILE* log = stdout;
    if (!options.logFile.empty()) {
        log = std::fopen(options.logFile.c_str(), "w");
        if (!log) {
            std::fprintf(stderr, "corvane-radiosim: cannot write the log '%s': %s\n", options.logFile.c_str(),
                         std::strerror(errno));
            return 2;
        }
    }

    Simulator sim(options, [log](const std::string& line) {
        std::fputs(line.c_str(), log);
        std::fputc('\n', log);
        std::fflush(log);
    });
    if (!sim.open(error)) {
        std::fprintf(stderr, "corvane-radiosim: %s\n", error.c_str());
        return 2;
    }

    if (!options.networkFile.empty()) {
        const std::string text = NetworkFileText(sim.net(), ProgramAddress(options, sim.tcpPort(), sim.udpPort()));
        if (!WriteNetworkFile(options.networkFile, text, error)) {
            std::fprintf(stderr, "corvane-radiosim: %s\n", error.c_str());
            return 2;
        }
    }

    std::signal(SIGPIPE, SIG_IGN);
    running = &sim;
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    for (const auto& line : sim.startupLines()) std::printf("%s\n", line.c_str());
    std::fflush(stdout);

    sim.run();
    running = nullptr;

    if (options.summary) std::fputs(sim.summary().c_str(), stdout);
    std::fflush(stdout);
    if (log != stdout) std::fclose(log);
    return 0;
}
