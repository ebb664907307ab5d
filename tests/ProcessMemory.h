#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace testing_support {

// A memory figure of /proc/<process>/status (VmRSS, RssAnon, RssFile ...) in MiB; -1 when
// the process or the field is missing.
inline double StatusMiB(const std::string& field, const std::string& process = "self")
{
    std::ifstream status("/proc/" + process + "/status");
    const std::string prefix = field + ':';
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtod(line.c_str() + prefix.size(), nullptr) / 1024;
    }
    return -1;
}

// The resident set of this process in MiB.
inline double ResidentMiB()
{
    return StatusMiB("VmRSS");
}

} // namespace testing_support
