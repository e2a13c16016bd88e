// One shredding run over several listed paths: every path is listed in full
// first (so the totals are known before the first byte is written), then
// each entry is destroyed in turn.
#ifndef VORN_SHRED_SHREDRUN_H
#define VORN_SHRED_SHREDRUN_H

#include "shred/Shredder.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class ShredProgress;

class ShredRun
{
public:
    // `progress` may be null; it is not owned.
    ShredRun(bool quick, ShredProgress* progress = nullptr);

    // Lists a path: a file or link is one entry; a folder gives every entry
    // below it (it is emptied only when `folders` is set). Returns false when
    // the listing was cancelled.
    bool List(const std::string& path, bool folders = true);
    // Destroys the listed paths in order. Returns false when cancelled.
    bool Execute();

    // One result per path that was reached, in the order listed: a path not
    // reached because the run was cancelled has none.
    const std::vector<ShredResult>& Results() const { return m_results; }
    std::uint64_t TotalEntries() const { return m_totalEntries; }
    // Bytes all passes will write: each regular file rounded up to whole
    // blocks, once per pass.
    std::uint64_t TotalBytes() const { return m_totalBytes; }

    // A path's bytes as the file system knows them, and back to text for
    // display; bytes that are not valid text survive as octal escapes.
    static std::string PathBytes(const wxString& path);
    static wxString PathText(const std::string& bytes);

private:
    // One entry to destroy, with the identity it had when it was listed so
    // that a swap before its turn cannot redirect the writes.
    struct Entry
    {
        std::string path;
        dev_t dev;
        ino_t ino;
        std::uint64_t size;
        bool regular;
    };
    struct Target
    {
        std::vector<Entry> entries;
        ShredResult result; // what listing found; completed by Execute
    };

    void Fail(ShredResult& result, const std::string& path, const wxString& reason);
    bool ListFolder(const std::string& top, Target& target);
    bool Add(Target& target, Entry entry);
    // What the passes write over a listed entry (nothing over a link).
    std::uint64_t BytesToWrite(const Entry& entry) const;
    bool Destroy(const Entry& entry, ShredResult& result);
    int Overwrite(int dirfd, const std::string& name, const Entry& entry, ShredResult& result);
    void RenameAndRemove(int dirfd, const std::string& name, const Entry& entry,
                         ShredResult& result);

    bool m_quick;
    ShredProgress* m_progress;
    std::vector<Target> m_targets;
    std::vector<ShredResult> m_results;
    std::uint64_t m_totalEntries = 0;
    std::uint64_t m_totalBytes = 0;
};

#endif // VORN_SHRED_SHREDRUN_H
