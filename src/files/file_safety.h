#pragma once
#include <string>
#include <string_view>

// A work folder is the folder one program (one network) reads and writes in, fixed
// at start; each program keeps its own (LogState::workFolder), so two networks in
// one process never write into each other's. Relative names are resolved against
// it, so a folder deleted meanwhile makes writes fail rather than land somewhere
// else. Empty: relative names follow the current directory as it is at the time.

// Replaces `path` whole: writes a temporary file beside it and renames it over the
// target, so a crash or a full disk never leaves a half-written file. On failure the
// old file is untouched, `error` says why and errno is returned (0 on success).
// A relative path is written inside `folder` (WorkPath).
int WriteFileAtomically(const std::string& folder, const std::string& path, std::string_view contents,
                        std::string& error);
// The same for a path taken as it stands (relative to the current directory).
int WriteFileAtomically(const std::string& path, std::string_view contents, std::string& error);

// The current directory, as a work folder; false with `error` when it is gone.
bool CaptureWorkFolder(std::string& folder, std::string& error);
// `path` as it is written: an absolute path as it stands, a relative one inside
// `folder`.
std::string WorkPath(const std::string& folder, const std::string& path);
// False with `error` (the reason) when `folder` is no longer there.
bool WorkFolderPresent(const std::string& folder, std::string& error);
// "<path of name>: the work folder <folder> is gone (<reason>)", for the message
// that refuses a file dialog which would otherwise start at the root.
std::string WorkFolderGoneText(const std::string& folder, const std::string& name, const std::string& reason);

// Removes the temporary files that writers killed in the middle of a write left in
// `folder` (the names WriteFileAtomically makes, of processes that are gone).
// Returns how many were removed.
int RemoveOrphanTemporaries(const std::string& folder);
