// How a shredding run reports its progress and learns that it is cancelled.
// The engine calls it from whatever thread runs it; it never touches a window.
#ifndef VORN_SHRED_SHREDPROGRESS_H
#define VORN_SHRED_SHREDPROGRESS_H

#include <cstdint>
#include <string>

class ShredProgress
{
public:
    virtual ~ShredProgress() = default;

    // While listing: entries found so far. Return false to cancel.
    virtual bool OnListed(std::uint64_t entries) = 0;
    // Before each entry is destroyed: its path and the bytes its passes
    // cover. Return false to cancel; the entry is then left untouched.
    virtual bool OnEntry(const std::string& path, std::uint64_t bytes) = 0;
    // After each write: bytes the current entry's passes have written so
    // far. Return false to cancel; the run then stops at this block boundary.
    virtual bool OnWritten(std::uint64_t bytes) = 0;
};

#endif // VORN_SHRED_SHREDPROGRESS_H
