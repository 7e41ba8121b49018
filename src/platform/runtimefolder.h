#pragma once

#include <optional>
#include <string>

// The folder for this user's sockets and locks that every Kelvo of the user agrees on, and
// kelvoctl with them, whatever else differs between them (the working folder, TMPDIR): the
// runtime folder given (the value of $XDG_RUNTIME_DIR) when it is a folder of this user's that no
// one else may enter (0700), otherwise a folder of the user's own under /tmp, made 0700 when
// missing. Nothing, with the reason, when neither can be had safely (a folder of that name
// belongs to someone else, or is open to others). Needs the C library alone.
std::optional<std::string> privateRuntimeFolder(const char *runtimeDir, std::string *errorMessage = nullptr);
