// Scratch folders and small file helpers shared by the tests.
#ifndef VORN_TESTS_SUPPORT_TEMPDIR_H
#define VORN_TESTS_SUPPORT_TEMPDIR_H

#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // `name` joined to the folder; `name` may hold subfolders.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
void MakeDir(const std::string& path);
bool Exists(const std::string& path); // without following a last link
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> ListNames(const std::string& folder);

// Runs `body` in a child process as an unprivileged user (uid and gid 65534)
// when the tests run as root, and as the current user otherwise, so that
// permission checks apply the same way. Returns the child's exit status, or
// -1 when it did not exit normally.
int RunUnprivileged(int (*body)(void*), void* data);
// Gives a path to the unprivileged user when running as root.
void GiveToUnprivileged(const std::string& path);

#endif // VORN_TESTS_SUPPORT_TEMPDIR_H
