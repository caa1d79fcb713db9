#pragma once
#include <QString>
#include <string>

// What the command line asks for.
struct CommandLine {
    enum class Action { run, help, version, usage };
    Action action = Action::run;
    std::string networkFile;  // the network file to open, as given
    std::string problem;      // for usage: what was wrong
};

// --help, --version, Qt's own display options and at most one network file; anything
// else starting with '-' is a usage error.
CommandLine ParseCommandLine(int argc, char** argv);
// "Usage: corvane-diagnostics ..." with a line end.
const char* UsageLine();

// The folder a session's files go to. Started from a terminal in a folder the user
// may write, that folder; started from the desktop menu (the folder is the home
// folder, or one the user may not write), the folder used last if it is still
// there, else `own`, the program's folder in the user's documents.
QString StartWorkFolder(const QString& current, const QString& home, bool currentWritable, const QString& remembered,
                        const QString& own);
// The program's own folder for its files: "Corvane Diagnostics" in the user's
// documents folder (the data folder when there is no documents folder of its own).
QString OwnWorkFolder();
// Chooses the work folder at start and makes it current; false if that failed.
bool EnterStartWorkFolder(const QString& remembered);
