// Any bytes as a network file: the reader must load at most a full table, keep
// every loaded radio's fields as the file gave them and never leave the selected
// radio outside the list.
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "files/network_file.h"
#include "model/program.h"
#include "model/radio_table.h"

namespace {

struct Fixture {
    Fixture() : program(std::make_unique<Program>()) {
        program->clock = &clock;
        program->live = &live;
        char name[] = "/tmp/corvane-fuzz-XXXXXX.RAD";
        const int fd = ::mkstemps(name, 4);
        if (fd < 0) std::abort();
        ::close(fd);
        path = name;
    }
    ~Fixture() { ::unlink(path.c_str()); }
    ManualClock clock{LocalTime{2024, 1, 1, 12, 0, 0, 0}};
    LiveListener live;
    std::unique_ptr<Program> program;
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    Program& p = *fixture.program;
    p.network.selectedRadio = size > 0 ? data[0] : 0;
    FILE* out = std::fopen(fixture.path.c_str(), "wb");
    if (out == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, out) != size) std::abort();
    std::fclose(out);

    std::string error;
    if (!ReadNetworkFile(p, fixture.path, error)) std::abort();
    const RadioNetwork& n = p.network;
    if (n.radioCount < 0 || n.radioCount > kMaxRadios) __builtin_trap();
    if (n.selectedRadio < 0 || n.selectedRadio > n.radioCount) __builtin_trap();
    if (n.lastVisibleRow > n.radioCount) __builtin_trap();

    // What is saved reads back to the same radios.
    // One copy for every input: the table is large and only the loaded slots are compared.
    static const auto before = std::make_unique<RadioNetwork>();
    before->radioCount = n.radioCount;
    for (int i = 1; i <= n.radioCount; ++i) before->radios[i] = n.radios[i];
    out = std::fopen(fixture.path.c_str(), "wb");
    if (out == nullptr) std::abort();
    const std::string saved = NetworkFileText(p.network, p.link);
    if (std::fwrite(saved.data(), 1, saved.size(), out) != saved.size()) std::abort();
    std::fclose(out);
    if (!ReadNetworkFile(p, fixture.path, error)) std::abort();
    if (n.radioCount != before->radioCount) __builtin_trap();
    for (int i = 1; i <= n.radioCount; ++i) {
        const RadioRecord& a = before->radios[i];
        const RadioRecord& b = n.radios[i];
        if (a.serialNumber != b.serialNumber || a.repeaterNumber != b.repeaterNumber || a.name != b.name)
            __builtin_trap();
    }
    return 0;
}
