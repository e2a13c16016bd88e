#include "tests/support/SlowDisk.h"

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/uio.h>
#include <time.h>

namespace {

std::atomic<int> g_waitMs{0};

__attribute__((constructor)) void ReadEnvironment()
{
    if (const char* ms = std::getenv("VORN_SLOW_WRITE_MS")) {
        g_waitMs = std::atoi(ms);
    }
}

} // namespace

void SetSlowWrites(int ms)
{
    g_waitMs = ms;
}

namespace {

void Wait()
{
    if (const int ms = g_waitMs) {
        const timespec wait{ms / 1000, (ms % 1000) * 1000000L};
        ::nanosleep(&wait, nullptr);
    }
}

} // namespace

// Both names: code built with 64-bit file offsets calls the second.
extern "C" ssize_t pwritev(int fd, const struct iovec* iov, int count, off_t offset)
{
    using Real = ssize_t (*)(int, const struct iovec*, int, off_t);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "pwritev"));
    Wait();
    return real(fd, iov, count, offset);
}

extern "C" ssize_t pwritev64(int fd, const struct iovec* iov, int count, off64_t offset)
{
    using Real = ssize_t (*)(int, const struct iovec*, int, off64_t);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "pwritev64"));
    Wait();
    return real(fd, iov, count, offset);
}
