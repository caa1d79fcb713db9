#pragma once
#include <cstdint>
#include <string>

struct LogState {
    std::string bannerText = "Diagnostics KTX Version 2.16";
    int32_t lastLogMinute = 0;
    bool logRequested = false;
    bool csvRequested = false;
    // Set at start: "Current.log" from before the start stays until a radio of this
    // run has replied (its first new minute after that reply replaces it).
    bool keepEarlierSnapshot = false;
    // The last "Current.log" write failed; the status bar says so until one works.
    bool currentLogFailing = false;
    // The folder this program's files go into (relative names resolve against it);
    // empty: the current directory at the time.
    std::string workFolder;
    // Told of every file the logging step writes: its name and errno (0: written). May be null.
    void (*fileObserver)(void* context, const std::string& name, int code) = nullptr;
    void* fileObserverContext = nullptr;
};
