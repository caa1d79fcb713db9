#include <string>

#include "log_fixture.h"
#include "network/log_files.h"

namespace {

class CsvExport : public FileFixture {
protected:
    CsvExport() { BuildGoldenTable(); }
};

TEST_F(CsvExport, MatchesTheGoldenFileByteForByte) {
    EXPECT_EQ(CsvText(*program), GoldenBytes("snapshot.csv"));
}

TEST_F(CsvExport, TheElapsedTimeFollowsTheClock) {
    clock.advanceMs(61000);
    EXPECT_NE(CsvText(*program).find("14:06:10        3970\r\n"), std::string::npos);
}

}  // namespace
