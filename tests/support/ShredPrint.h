// Prints an engine result in a test's failure message: each failure's path,
// kind and system error.
#ifndef VORN_TESTS_SUPPORT_SHREDPRINT_H
#define VORN_TESTS_SUPPORT_SHREDPRINT_H

#include "shred/ShredResult.h"

#include <cstring>
#include <string>

inline std::string Describe(const ShredResult& result)
{
    std::string text;
    for (const ShredFailure& failure : result.failures) {
        text += failure.path + ": kind " + std::to_string(static_cast<int>(failure.kind)) + " (" +
                std::strerror(failure.err) + ")\n";
    }
    return text;
}

#endif // VORN_TESTS_SUPPORT_SHREDPRINT_H
