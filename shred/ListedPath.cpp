#include "shred/ListedPath.h"

#include <cstdlib>
#include <sys/stat.h>

bool IsListable(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        return false;
    }
    return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode);
}

// Only the folder part is resolved: resolving ".." lexically after a
// symbolic link, or expanding a literal "~" file name, would name another
// file, and a link named last must stay the link itself.
std::string AbsolutePath(const std::string& path)
{
    std::string folder = path;
    std::string name;
    struct stat st;
    if (::lstat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        const std::string::size_type slash = folder.rfind('/');
        name = folder.substr(slash + 1);
        folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
    }
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (resolved == nullptr) {
        return path; // vanished meanwhile: the deletion run will find nothing
    }
    std::string result(resolved);
    std::free(resolved);
    if (!name.empty()) {
        result += result == "/" ? name : "/" + name;
    }
    return result;
}
