#include "platform/instancename.h"

#include "platform/sha256.h"

std::string instanceSocketPath(const std::string &folder, const std::string &trackListPath)
{
    return folder + "/kelvo-" + sha256Hex(trackListPath).substr(0, 16) + ".socket";
}
