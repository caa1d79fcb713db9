// Where files go when the work folder goes away, what a killed writer leaves
// behind, and the snapshot a restart must not throw away.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/export_commands.h"
#include "app/file_commands.h"
#include "app/window_proc.h"
#include "files/file_safety.h"
#include "files/log_files.h"
#include "files/network_file.h"
#include "platform/ids.h"
#include "support/log_fixture.h"

namespace {

class WorkFolderTest : public FileFixture {
protected:
    WorkFolderTest() { BuildGoldenTable(); }
};

// The work folder is deleted under the running program: nothing lands elsewhere,
// and Save refuses before its dialog (which would start at the root).
TEST_F(WorkFolderTest, ADeletedFolderFailsEveryWriteWithAMessage) {
    const std::string folder = directory.path() + "/site";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    std::string error;
    ASSERT_TRUE(CaptureWorkFolder(program->log.workFolder, error));
    ASSERT_EQ(::chdir(directory.path().c_str()), 0);  // elsewhere, as after a stray chdir
    EXPECT_EQ(WriteFileAtomically(program->log.workFolder, "a.txt", "x", error), 0);
    EXPECT_TRUE(FileExists(folder + "/a.txt"));
    EXPECT_FALSE(FileExists("a.txt"));
    EXPECT_EQ(WriteFileAtomically(program->log.workFolder, "../b.txt", "x", error), EINVAL);

    std::filesystem::remove_all(folder);
    program->log.lastLogMinute = 5;
    program->log.logRequested = true;
    LoggingStep(*program, &host);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"Error: Could not write " + folder +
                                                        "/03071405.LOG: No such file or directory"});

    program->network.networkFileName = "site.RAD";
    host.answer(true, "site.RAD");
    CommandSaveNetworkFile(*program, host);
    EXPECT_TRUE(host.fileRequests.empty());
    ASSERT_EQ(host.messages().size(), 2u);
    EXPECT_EQ(host.messages()[1], "Error: Cannot write " + folder + "/site.RAD: the work folder " + folder +
                                      " is gone (No such file or directory)");
    EXPECT_FALSE(FileExists("site.RAD"));

    program->display.screenNumber = screen::graphics3;
    program->network.selectedRadio = 1;
    OnExportCommand(*program, host, menu::exportGraph);
    EXPECT_TRUE(host.fileRequests.empty());
    ASSERT_EQ(host.messages().size(), 3u);
    EXPECT_EQ(host.messages()[2], "Export Graph: Could not write " + folder +
                                      "/1234567-Graphics3.png: the work folder " + folder +
                                      " is gone (No such file or directory)");
}

// Only names the atomic writer makes, of processes that are gone, are removed.
TEST_F(WorkFolderTest, StartRemovesWhatAKilledWriterLeft) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child), alive = std::to_string(::getppid());
    const std::string orphans[] = {"Current.log.tmp." + dead + ".0", "2415000.dat.tmp." + dead + ".17"};
    const std::string kept[] = {"Current.log.tmp." + alive + ".0",
                                "notes.tmp." + dead,
                                "a.tmp." + dead + ".x",
                                ".tmp." + dead + ".1",
                                "Current.log",
                                "x.tmp." + dead + ".1.bak"};
    for (const auto& name : orphans) WriteFileBytes(name, "half");
    for (const auto& name : kept) WriteFileBytes(name, "keep");
    ASSERT_EQ(::mkdir(("dir.tmp." + dead + ".2").c_str(), 0755), 0);

    auto started = CreateProgram(clock);
    StartProgram(*started);
    StopProgram(*started, host);
    for (const auto& name : orphans) EXPECT_FALSE(FileExists(name)) << name;
    for (const auto& name : kept) EXPECT_TRUE(FileExists(name)) << name;
    EXPECT_TRUE(FileExists("dir.tmp." + dead + ".2"));
}

// After a restart "Current.log" keeps the last run's table until a radio of this
// run has replied; the first new minute after that reply replaces it.
TEST_F(WorkFolderTest, ARestartKeepsTheLastSnapshotUntilARadioReplies) {
    WriteFileBytes("Current.log", "last run");
    for (int i = 0; i <= kMaxRadios; ++i) program->network.radios[static_cast<size_t>(i)].replyCount = 0;
    program->log.keepEarlierSnapshot = true;  // as at start
    program->log.lastLogMinute = 0;
    for (int minute = 6; minute < 9; ++minute) {
        clock.setTimeOfDay(14, minute, 0);
        LoggingStep(*program, &host);
    }
    EXPECT_EQ(ReadFileBytes("Current.log"), "last run");

    program->network.radios[3].replyCount = 1;
    clock.setTimeOfDay(14, 8, 30);
    LoggingStep(*program, &host);
    EXPECT_EQ(ReadFileBytes("Current.log"), "last run");
    clock.setTimeOfDay(14, 9, 0);
    LoggingStep(*program, &host);
    EXPECT_EQ(ReadFileBytes("Current.log"), SnapshotText(program->network, program->log, *program->clock));
}

}  // namespace
