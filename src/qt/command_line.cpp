#include "qt/command_line.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstring>
#include <string_view>

namespace {

// Qt's own options that take a value, and those that do not.
constexpr std::string_view kQtValueOptions[] = {"-platform",        "-style",        "-display",       "-geometry",
                                                "-qwindowgeometry", "-qwindowtitle", "-platformtheme", "-stylesheet"};
constexpr std::string_view kQtFlags[] = {"-reverse"};

template <size_t N>
bool OneOf(std::string_view arg, const std::string_view (&list)[N]) {
    for (std::string_view s : list)
        if (arg == s) return true;
    return false;
}

bool SameFolder(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

}  // namespace

const char* UsageLine() { return "Usage: corvane-diagnostics [--help | --version] [NETWORK-FILE.RAD]\n"; }

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    bool optionsEnd = false;
    auto usage = [&](std::string problem) {
        line.action = CommandLine::Action::usage;
        line.problem = std::move(problem);
        return line;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnd = true;
            } else if (arg == "--help" || arg == "-h") {
                line.action = CommandLine::Action::help;
                return line;
            } else if (arg == "--version") {
                line.action = CommandLine::Action::version;
                return line;
            } else if (OneOf(arg, kQtValueOptions)) {
                if (++i >= argc) return usage("option " + std::string(arg) + " needs a value");
            } else if (!OneOf(arg, kQtFlags)) {
                return usage("unknown option " + std::string(arg));
            }
            continue;
        }
        if (!line.networkFile.empty()) return usage("only one network file can be opened");
        line.networkFile = arg;
    }
    return line;
}

QString StartWorkFolder(const QString& current, const QString& home, bool currentWritable, const QString& remembered,
                        const QString& own) {
    if (currentWritable && !SameFolder(current, home)) return current;
    const QFileInfo last(remembered);
    if (!remembered.isEmpty() && last.isDir() && last.isWritable() && !SameFolder(remembered, home)) return remembered;
    return own;
}

QString OwnWorkFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && !SameFolder(documents, QDir::homePath())) return documents + "/Corvane Diagnostics";
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool EnterStartWorkFolder(const QString& remembered) {
    const QString current = QDir::currentPath();
    const QString folder =
        StartWorkFolder(current, QDir::homePath(), QFileInfo(current).isWritable(), remembered, OwnWorkFolder());
    if (folder == current) return true;
    return QDir().mkpath(folder) && QDir::setCurrent(folder);
}
