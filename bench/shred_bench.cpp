// Drives the shredding engine from the command line, exactly as the deletion
// run does (every path listed first, then destroyed in turn), for the
// benchmark script. Prints one line: entries, bytes, failures, flushes made
// (fsync, fdatasync, syncfs), peak memory, and the peaks of the system's
// dirty plus write-back memory and of its page cache above where they were.
//
//   shred_bench [--quick] PATH...     shred the paths
//   shred_bench --list PATH...        list them only, as a run does first:
//                                     the memory a run needs at its peak
//   shred_bench --naive[-quick] FILE  the same passes as single 1024-byte
//                                     write calls, then remove: the
//                                     reference for the batched writes
//   shred_bench --passes[-quick] FILE the engine's passes alone, without the
//                                     rename and removal: what the device
//                                     limit (dd) is compared with
//   shred_bench --make-tree DIR FOLDERS FILES MAX_KIB
//                                     make FOLDERS folders of FILES files of
//                                     1..MAX_KIB KiB each (0: empty files)
#include "shred/OverwritePass.h"
#include "shred/ShredRun.h"

#include <wx/init.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <fstream>
#include <thread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::atomic<unsigned long> g_flushes{0};

template <typename Real> Real RealCall(const char* name)
{
    return reinterpret_cast<Real>(::dlsym(RTLD_NEXT, name));
}
} // namespace

// Counted: the cost of a run on slow storage is its flushes.
extern "C" int fsync(int fd)
{
    static const auto real = RealCall<int (*)(int)>("fsync");
    ++g_flushes;
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = RealCall<int (*)(int)>("fdatasync");
    ++g_flushes;
    return real(fd);
}

extern "C" int syncfs(int fd)
{
    static const auto real = RealCall<int (*)(int)>("syncfs");
    ++g_flushes;
    return real(fd);
}

namespace {

// Samples /proc/meminfo while a run works: how far dirty plus write-back
// memory and the page cache rose above their levels at the start.
class MemoryWatch
{
public:
    MemoryWatch()
    {
        Read(m_dirtyStart, m_cacheStart);
        m_thread = std::thread([this] {
            while (!m_stop) {
                long dirty = 0, cache = 0;
                Read(dirty, cache);
                m_dirtyPeak = std::max(m_dirtyPeak.load(), dirty - m_dirtyStart);
                m_cachePeak = std::max(m_cachePeak.load(), cache - m_cacheStart);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~MemoryWatch() { Stop(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    long DirtyPeakKib() const { return m_dirtyPeak; }
    long CachePeakKib() const { return m_cachePeak; }

private:
    static void Read(long& dirty, long& cache)
    {
        std::ifstream in("/proc/meminfo");
        std::string key;
        long value = 0;
        std::string unit;
        dirty = cache = 0;
        while (in >> key >> value >> unit) {
            if (key == "Dirty:" || key == "Writeback:") {
                dirty += value;
            } else if (key == "Cached:") {
                cache = value;
            }
        }
    }

    long m_dirtyStart = 0, m_cacheStart = 0;
    std::atomic<long> m_dirtyPeak{0}, m_cachePeak{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

long PeakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One pass in 1024-byte write calls, then a flush: the cost before batching.
bool NaivePass(int fd, off_t length, unsigned char pattern)
{
    unsigned char block[1024];
    std::memset(block, pattern, sizeof block);
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    for (off_t done = 0; done < length; done += static_cast<off_t>(sizeof block)) {
        if (write(fd, block, sizeof block) != static_cast<ssize_t>(sizeof block)) {
            return false;
        }
    }
    return fdatasync(fd) == 0;
}

// Opens a file for the passes and reads its length; -1 (reported) on failure.
int OpenForPasses(const char* path, off_t& length)
{
    const int fd = open(path, O_WRONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        std::perror(path);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    length = st.st_size;
    return fd;
}

int Naive(const char* path, bool quick)
{
    off_t length = 0;
    const int fd = OpenForPasses(path, length);
    if (fd < 0) {
        return 1;
    }
    bool ok = NaivePass(fd, length, 0x00) && (quick || NaivePass(fd, length, 0x01));
    ok = close(fd) == 0 && ok && unlink(path) == 0;
    std::printf("naive ok=%d peak_rss_kib=%ld\n", ok, PeakRssKib());
    return ok ? 0 : 1;
}

int PassesOnly(const char* path, bool quick)
{
    off_t size = 0;
    const int fd = OpenForPasses(path, size);
    if (fd < 0) {
        return 1;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(size);
    const int err = OverwritePasses(fd, length, quick);
    close(fd);
    std::printf("passes error=%d flushes=%lu peak_rss_kib=%ld\n", err, g_flushes.load(),
                PeakRssKib());
    return err == 0 ? 0 : 1;
}

// Makes the test tree quickly; sizes cycle through 1..maxKib KiB.
int MakeTree(const std::string& top, int folders, int files, int maxKib)
{
    static const std::string data(static_cast<size_t>(maxKib > 0 ? maxKib : 1) * 1024, 'd');
    if (mkdir(top.c_str(), 0755) != 0 && errno != EEXIST) {
        std::perror(top.c_str());
        return 1;
    }
    for (int f = 0; f < folders; ++f) {
        const std::string folder = top + "/folder" + std::to_string(f);
        if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
            std::perror(folder.c_str());
            return 1;
        }
        for (int i = 0; i < files; ++i) {
            const std::string path = folder + "/file" + std::to_string(i);
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const size_t size =
                maxKib > 0 ? static_cast<size_t>(1 + (f * 7 + i) % maxKib) * 1024 : 0;
            if (fd < 0 || write(fd, data.data(), size) != static_cast<ssize_t>(size) ||
                close(fd) != 0) {
                std::perror(path.c_str());
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    if (!wx.IsOk() || argc < 2) {
        std::fprintf(stderr, "usage: %s [--quick] PATH...\n", argv[0]);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "--make-tree") {
        return argc == 6
                   ? MakeTree(argv[2], std::stoi(argv[3]), std::stoi(argv[4]), std::stoi(argv[5]))
                   : 2;
    }
    if (first == "--passes" || first == "--passes-quick") {
        return argc == 3 ? PassesOnly(argv[2], first == "--passes-quick") : 2;
    }
    if (first == "--naive" || first == "--naive-quick") {
        return argc == 3 ? Naive(argv[2], first == "--naive-quick") : 2;
    }
    const bool quick = first == "--quick";
    const bool listOnly = first == "--list";
    ShredRun run(quick);
    for (int i = quick || listOnly ? 2 : 1; i < argc; ++i) {
        run.List(argv[i]);
    }
    MemoryWatch memory;
    if (!listOnly) {
        run.Execute();
    }
    memory.Stop();
    unsigned long failures = 0;
    for (const ShredResult& result : run.Results()) {
        failures += result.failures.size();
        for (const ShredFailure& failure : result.failures) {
            std::fprintf(stderr, "%s: kind %d: %s\n", failure.path.c_str(),
                         static_cast<int>(failure.kind), std::strerror(failure.err));
        }
    }
    std::printf("entries=%llu bytes=%llu failures=%lu flushes=%lu peak_rss_kib=%ld "
                "dirty_peak_kib=%ld cache_peak_kib=%ld\n",
                static_cast<unsigned long long>(run.TotalEntries()),
                static_cast<unsigned long long>(run.TotalBytes()), failures, g_flushes.load(),
                PeakRssKib(), memory.DirtyPeakKib(), memory.CachePeakKib());
    return failures == 0 ? 0 : 1;
}
