#include "shred/Shredder.h"

#include "shred/PathEncoding.h"
#include "shred/ShredRun.h"

namespace {

ShredResult RunOne(const std::string& path, bool quick, bool folders)
{
    ShredRun run(quick);
    run.List(path, folders);
    run.Execute();
    return run.Results().front();
}

} // namespace

ShredResult ShredPathBytes(const std::string& path, bool quick)
{
    return RunOne(path, quick, true);
}

ShredResult ShredPath(const wxString& path, bool quick)
{
    return RunOne(PathBytes(path), quick, true);
}

ShredResult ShredFile(const wxString& path, bool quick)
{
    return RunOne(PathBytes(path), quick, false);
}
