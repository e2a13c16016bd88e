// A deletion run off the GUI thread: the engine lists and shreds the paths
// in a worker thread, so the window keeps answering while it works.
#ifndef VORN_RUN_DELETIONRUN_H
#define VORN_RUN_DELETIONRUN_H

#include "shred/ShredProgress.h"
#include "shred/ShredRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class DeletionRun : public ShredProgress
{
public:
    // What the worker is doing, for the progress display.
    struct Status
    {
        bool listing = true;
        std::uint64_t entriesDone = 0;  // entries finished before the current
        std::uint64_t entriesTotal = 0; // while listing: entries found so far
        std::uint64_t bytesDone = 0;
        std::uint64_t bytesTotal = 0;
        std::string current; // the entry being destroyed, as raw bytes
        // How long the run has gone without a step forward (an entry
        // listed or begun, a write on the device).
        std::chrono::milliseconds quiet{0};

        // Longer than a healthy device needs for one flushed chunk, even a
        // slow USB stick; a hung FUSE driver or network mount stays quiet
        // for as long as it hangs.
        bool NotAnswering() const { return quiet >= std::chrono::seconds(5); }
    };

    DeletionRun(std::vector<std::string> paths, bool quick);
    ~DeletionRun() override; // cancels and waits for the worker

    void Start();
    // Waits up to `ms` milliseconds; returns whether the run has finished.
    bool WaitFinished(int ms);
    bool IsFinished() const;
    // Asks the worker to stop at the next block boundary.
    void Cancel() { m_cancel = true; }
    bool IsCancelling() const { return m_cancel; }
    Status GetStatus() const;
    // Waits for the worker, then returns one result per path reached.
    const std::vector<ShredResult>& Results();
    // Leaves the worker to itself, for a program that ends while storage
    // that stopped answering holds it inside a system call. The caller must
    // then never destroy this object, which the worker may still use.
    void Abandon() { m_thread.detach(); }

private:
    bool OnListed(std::uint64_t entries) override;
    bool OnEntry(const std::string& path, std::uint64_t bytes) override;
    bool OnWritten(std::uint64_t bytes) override;
    void Work();
    void Stepped(); // with m_mutex held

    std::vector<std::string> m_paths;
    ShredRun m_run;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    bool m_finished = false; // guarded by m_mutex, as is m_status
    Status m_status;
    std::chrono::steady_clock::time_point m_lastStep;
    // Worker only: the bytes and entries of the entries before the current.
    std::uint64_t m_bytesBeforeEntry = 0;
    std::uint64_t m_entryBytes = 0;
    std::uint64_t m_entriesStarted = 0;
};

#endif // VORN_RUN_DELETIONRUN_H
