// One shredding run over several listed paths: every path is listed in full
// first (so the totals are known before the first byte is written), then
// each entry is destroyed in turn, through folder descriptors. On a local
// kernel file system, a batch's files are renamed and removed on a second
// thread while the next batch is written, which is otherwise idle waiting
// for the device.
#ifndef VORN_SHRED_SHREDRUN_H
#define VORN_SHRED_SHREDRUN_H

#include "shred/FolderTree.h"
#include "shred/NameStore.h"
#include "shred/ShredBatch.h"
#include "shred/ShredProgress.h"
#include "shred/ShredResult.h"
#include "shred/StorageCheck.h"

#include <sys/resource.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

// It relays the caller's progress to its batches, remembering a cancel.
class ShredRun : private ShredProgress
{
public:
    // `progress` may be null; it is not owned.
    ShredRun(bool quick, ShredProgress* progress = nullptr);
    // Stops and waits for a names step still running on the second thread.
    ~ShredRun() override;
    ShredRun(const ShredRun&) = delete;
    ShredRun& operator=(const ShredRun&) = delete;

    // Lists a path (its bytes): a file or link is one entry; a folder gives
    // every entry below it (it is emptied only when `folders` is set).
    // Returns false when the listing was cancelled.
    bool List(const std::string& path, bool folders = true);
    // Destroys the listed paths in order. Returns false when cancelled.
    bool Execute();

    // One result per path that was reached, in the order listed: a path not
    // reached because the run was cancelled has none.
    const std::vector<ShredResult>& Results() const { return m_results; }
    std::uint64_t TotalEntries() const { return m_entries.size(); }
    // Bytes all passes will cover: each regular file rounded up to whole
    // blocks, once per pass.
    std::uint64_t TotalBytes() const { return m_totalBytes; }

private:
    // One entry to destroy, with the identity it had when it was listed so
    // that a swap before its turn cannot redirect the writes. Kept small: a
    // run may list millions.
    struct Entry
    {
        NameStore::Id name;
        ino_t ino;
        std::uint64_t size;
        FolderTree::Index folder;
        std::uint16_t device; // in m_devices: an overlay's files lie on their layer's
        bool regular;
    };
    struct Target
    {
        std::size_t begin; // its entries in m_entries
        std::size_t end;
        ShredResult result; // what listing found; completed by Execute
    };

    void Fail(ShredResult& result, std::string path, ShredError kind, int err = 0,
              std::uint64_t detail = 0);
    // Whether `path`, held by the folder `storage` (the path itself when it
    // is a folder), may be listed at all; fails `result` when not.
    bool Allowed(const std::string& path, const std::string& storage, bool folder,
                 ShredResult& result);
    bool ListFolder(const std::string& path, FolderTree::Index top, ShredResult& result);
    bool Add(FolderTree::Index folder, const char* name, const struct stat& st);
    std::uint16_t DeviceIndex(dev_t dev);
    std::uint64_t BytesToWrite(const Entry& entry) const;
    // The entry's folder, open, or -1 with the reason recorded (none when
    // the folder vanished and took its entries with it).
    int OpenFolder(const Entry& entry, const std::string& path, ShredResult& result);
    // `closes` when no later entry of the run lies in the entry's folder.
    bool Destroy(const Entry& entry, std::size_t row, bool closes);
    // Leaves the entry `path` of `result` untouched as the run stops.
    bool Stop(ShredResult& result, const std::string& path);
    // Which entries are the last of their folder.
    void FindClosings();
    FolderTree::Index Noted(FolderTree::Index folder, const struct stat& st);
    // Has the batch overwrite the names left in the entry's folder, whose
    // result is the path `row`'s.
    void Close(const Entry& entry, std::size_t row);
    // Writes the batch being filled, then has it renamed and removed: on the
    // second thread when `overlap` allows and its storage takes one syncfs
    // per step, otherwise here. Each member is recorded in its path's result
    // once its names step is done; false when cancelled.
    bool RunBatch(bool overlap = true);
    // Waits for the names step on the second thread, if one runs, and
    // records its batch; false when it was cancelled. While its fill goes
    // on, the progress hears of it and can cancel it.
    bool Drain();
    // Whether two batches may hold their files open at once: the soft limit
    // on open files is raised where it is short, until the run ends.
    bool RoomForTwoBatches();
    void RecordBatch(ShredBatch& batch);
    // Empties the batch being filled, not written, each member recorded as
    // cancelled.
    void LeaveBatch();
    // Records what became of an entry; false when it was cancelled.
    bool Record(const EntryOutcome& outcome, const std::string& path, ShredResult& result);

    // The caller's progress, relayed; a cancel is remembered, where the
    // names step on the second thread looks for it.
    bool OnListed(std::uint64_t entries) override;
    bool OnEntry(const std::string& path, std::uint64_t bytes) override;
    bool OnWritten(std::uint64_t bytes) override;
    bool Relayed(bool going);

    bool m_quick;
    ShredProgress* m_progress;
    FolderTree m_folders;
    NameStore m_names;
    std::deque<Entry> m_entries; // grows without copying what it holds
    std::vector<Target> m_targets;
    std::vector<ShredResult> m_results;
    StorageCheck m_storage;
    std::vector<dev_t> m_devices; // few: one per mount or overlay layer
    std::vector<bool> m_closes;   // per entry: the last of its folder
    bool m_closed = false;        // the entry Destroy handled closed its folder
    // Per folder, by its identity (a folder may be listed twice): its
    // blocks when it was listed, and its entries renamed so far.
    struct FolderFacts
    {
        std::int64_t blocks = 0;
        std::uint64_t renamed = 0; // by the batches run so far
    };
    std::map<std::pair<dev_t, ino_t>, FolderFacts> m_perFolder;
    std::uint64_t m_totalBytes = 0;
    // The folder of the file listed before, as a path and as recorded.
    std::string m_lastParent;
    FolderTree::Index m_lastRoot = FolderTree::kNoParent;
    // The folder of the entry before, whose path OnEntry reports.
    FolderTree::Index m_currentFolder = FolderTree::kNoParent;
    std::string m_currentPrefix;

    // The two batches, last: the names step on the second thread uses what
    // is declared above, so it ends before any of that goes.
    std::atomic<bool> m_stopped{false};
    std::atomic<std::uint64_t> m_fillSteps{0}; // the fill's questions on the second thread
    std::uint64_t m_written = 0;               // the bytes reported last for the current entry
    std::unique_ptr<ShredBatch> m_batch;       // being filled and written
    std::unique_ptr<ShredBatch> m_naming;      // its names step on the second thread
    std::future<bool> m_named;                 // valid while that step runs
    bool m_overlaps = false;                   // descriptors suffice for two batches
    rlimit m_openLimit{};                      // to put back when the run ends
    bool m_raisedLimit = false;
};

#endif // VORN_SHRED_SHREDRUN_H
