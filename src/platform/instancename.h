#pragma once

#include <string>

// The instance socket of the Kelvo that keeps the track list at trackListPath (an absolute
// path, in the file system's encoding), in folder (see privateRuntimeFolder):
// folder/kelvo-<the first 16 hexadecimal digits of the path's SHA-256>.socket. Needs the C++
// library alone: kelvo and kelvoctl name it alike.
std::string instanceSocketPath(const std::string &folder, const std::string &trackListPath);
