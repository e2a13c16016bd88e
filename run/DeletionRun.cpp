#include "run/DeletionRun.h"

#include <chrono>

DeletionRun::DeletionRun(std::vector<std::string> paths, bool quick)
    : m_paths(std::move(paths)), m_run(quick, this)
{}

DeletionRun::~DeletionRun()
{
    if (m_thread.joinable()) {
        Cancel();
        m_thread.join();
    }
}

void DeletionRun::Start()
{
    m_lastStep = std::chrono::steady_clock::now();
    m_thread = std::thread(&DeletionRun::Work, this);
}

void DeletionRun::Work()
{
    // Every path is listed before the first byte is written, so the totals
    // are known and files renamed by the run are never listed again.
    bool going = true;
    for (const std::string& path : m_paths) {
        if (!(going = m_run.List(path))) {
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status.listing = false;
        m_status.entriesTotal = m_run.TotalEntries();
        m_status.bytesTotal = m_run.TotalBytes();
    }
    if (going && !m_cancel) {
        m_run.Execute();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_finishedChanged.notify_all();
}

bool DeletionRun::WaitFinished(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finishedChanged.wait_for(lock, std::chrono::milliseconds(ms),
                                      [this] { return m_finished; });
}

bool DeletionRun::IsFinished() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

DeletionRun::Status DeletionRun::GetStatus() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Status status = m_status;
    status.quiet = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_lastStep);
    return status;
}

void DeletionRun::Stepped()
{
    m_lastStep = std::chrono::steady_clock::now();
}

const std::vector<ShredResult>& DeletionRun::Results()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_run.Results();
}

bool DeletionRun::OnListed(std::uint64_t entries)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status.entriesTotal = entries;
    Stepped();
    return !m_cancel;
}

bool DeletionRun::OnEntry(const std::string& path, std::uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Whatever became of the previous entry, its share of the total is done.
    m_bytesBeforeEntry += m_entryBytes;
    m_entryBytes = bytes;
    m_status.bytesDone = m_bytesBeforeEntry;
    m_status.entriesDone = m_entriesStarted++;
    m_status.current = path;
    Stepped();
    return !m_cancel;
}

bool DeletionRun::OnWritten(std::uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status.bytesDone = m_bytesBeforeEntry + bytes;
    Stepped();
    return !m_cancel;
}
