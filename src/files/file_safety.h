#pragma once
#include <string>
#include <string_view>

// Replaces `path` whole: writes a temporary file beside it and renames it over the
// target, so a crash or a full disk never leaves a half-written file. On failure the
// old file is untouched, `error` says why and errno is returned (0 on success).
int WriteFileAtomically(const std::string& path, std::string_view contents, std::string& error);
