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

std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* out = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char piece[4096];
        for (size_t got; (got = std::fread(piece, 1, sizeof piece, out)) > 0;) {
            text.append(piece, got);
        }
        ::pclose(out);
    }
    return text;
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
