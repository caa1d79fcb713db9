// Any bytes as a network file: the reader must load at most a full table, keep
// every loaded radio's fields as the file gave them and never leave the selected
// radio outside the list.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "files/network_file.h"
#include "model/program.h"
#include "model/radio_table.h"

namespace {

// The file lives in memory: rewriting a file on disk thousands of times a second
// makes the file system, not the reader, the slow part.
struct Fixture {
    Fixture() : program(std::make_unique<Program>()) {
        program->clock = &clock;
        program->live = &live;
        fd = ::memfd_create("corvane-fuzz.RAD", MFD_CLOEXEC);
        if (fd < 0) std::abort();
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    ~Fixture() { ::close(fd); }
    void write(const void* data, size_t size) const {
        if (::ftruncate(fd, 0) != 0) std::abort();
        if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    }
    ManualClock clock{LocalTime{2024, 1, 1, 12, 0, 0, 0}};
    LiveListener live;
    std::unique_ptr<Program> program;
    int fd = -1;
    std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Fixture fixture;
    Program& p = *fixture.program;
    p.network.selectedRadio = size > 0 ? data[0] : 0;
    fixture.write(data, size);

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
    const std::string saved = NetworkFileText(p.network, p.link);
    fixture.write(saved.data(), saved.size());
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
