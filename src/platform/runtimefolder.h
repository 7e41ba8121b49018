#pragma once

#include <QString>

#include <optional>

// The folder for this user's sockets and locks that every Kelvo of the user agrees on, whatever
// else differs between them (the working folder, TMPDIR): $XDG_RUNTIME_DIR when it is a folder
// of this user's that no one else may enter (0700), otherwise a folder of the user's own under
// /tmp, made 0700 when missing. Nothing, with the reason, when neither can be had safely (a
// folder of that name belongs to someone else, or is open to others).
std::optional<QString> privateRuntimeFolder(QString *errorMessage = nullptr);
