#include <string>

#include "files/log_files.h"
#include "support/log_fixture.h"

namespace {

class CsvExport : public FileFixture {
protected:
    CsvExport() { BuildGoldenTable(); }
};

TEST_F(CsvExport, MatchesTheGoldenFileByteForByte) {
    EXPECT_EQ(CsvText(program->network, program->log, *program->clock), GoldenBytes("snapshot.csv"));
}

TEST_F(CsvExport, TheElapsedTimeFollowsTheClock) {
    clock.advanceMs(61000);
    EXPECT_NE(CsvText(program->network, program->log, *program->clock).find("14:06:10        3970\r\n"),
              std::string::npos);
}

}  // namespace
