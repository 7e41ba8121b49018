#pragma once

#include <string>

// The SHA-256 digest of data, as 64 lower-case hexadecimal digits. Needs the C++ library alone,
// so that kelvoctl names the instance socket exactly as the program does.
std::string sha256Hex(const std::string &data);
