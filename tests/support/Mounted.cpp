#include "tests/support/Mounted.h"

#include <cstdlib>
#include <fstream>

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

bool IsMounted(const std::string& point)
{
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(" " + point + " ") != std::string::npos) {
            return true;
        }
    }
    return false;
}
