// Loop images and other file systems mounted for one test, as root: made
// fresh, and unmounted, their drivers ended and their loop devices detached
// on every way out.
#ifndef VORN_TESTS_SUPPORT_MOUNTED_H
#define VORN_TESTS_SUPPORT_MOUNTED_H

#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Runs a shell command quietly; true when it succeeded.
bool Shell(const std::string& command);
// `text` quoted for the shell.
std::string Quoted(const std::string& text);
// What a command prints on its standard output.
std::string Output(const std::string& command);
// Whether something is mounted on `point`.
bool IsMounted(const std::string& point);

enum class Driver
{
    Kernel,  // mount -o loop
    Tmpfs,   // no image
    FuseFat, // FAT32 through fusefat
    ExFat,   // exFAT through exfat-fuse, on a loop device
    Ntfs,    // NTFS through ntfs-3g
};

struct FileSystem
{
    const char* name;
    Driver driver;
    const char* mkfs; // followed by the image
    int mib;
    const char* options = ""; // for mount -o
};

// A file system made on a fresh image and mounted for one test; unmounted,
// its driver ended and its loop device detached on every way out.
class Mounted
{
public:
    Mounted(const FileSystem& fs, const TempDir& dir)
        : m_image(dir / "fs.img"), m_point(dir / "mnt"), m_fs(fs)
    {
        MakeDir(m_point);
        if (fs.driver != Driver::Tmpfs &&
            (!Shell("truncate -s " + std::to_string(fs.mib) + "M " + Quoted(m_image)) ||
             !Shell(std::string(fs.mkfs) + " " + Quoted(m_image)))) {
            m_why = std::string("cannot make the file system: ") + fs.mkfs;
            return;
        }
        Mount();
    }
    ~Mounted() { Unmount(); }

    // As a file system a user has had for a while: everything written back
    // to where it lives, not only to a journal or log.
    bool Remount() { return Unmount() && Mount(); }

    // Unmounts and waits until the driver has written everything back.
    bool Unmount()
    {
        bool ok = true;
        if (IsMounted(m_point)) {
            ok = Shell("umount " + Quoted(m_point)) || Shell("umount -l " + Quoted(m_point));
        }
        if (m_daemon > 0) {
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(m_daemon, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (i == 99) {
                    ::kill(m_daemon, SIGKILL);
                    ::waitpid(m_daemon, &status, 0);
                    ok = false;
                }
            }
            m_daemon = -1;
        }
        if (!m_loop.empty()) {
            Shell("losetup -d " + Quoted(m_loop));
            m_loop.clear();
        }
        return ok;
    }

    bool Ok() const { return m_ok; }
    const std::string& Why() const { return m_why; }
    const std::string& Image() const { return m_image; }
    std::string operator/(const std::string& name) const { return m_point + "/" + name; }

private:
    bool Mount()
    {
        std::vector<std::string> command;
        switch (m_fs.driver) {
        case Driver::Tmpfs:
            return m_ok = Shell("mount -t tmpfs -o size=32m tmpfs " + Quoted(m_point));
        case Driver::Kernel:
            return m_ok = Shell("mount -o loop" + std::string(*m_fs.options ? "," : "") +
                                m_fs.options + " " + Quoted(m_image) + " " + Quoted(m_point));
        case Driver::FuseFat:
            command = {"fusefat", "-f", "-o", "rw+", m_image, m_point};
            break;
        case Driver::ExFat:
            m_loop = LoopDevice();
            command = {"mount.exfat-fuse", "-d", m_loop, m_point};
            break;
        case Driver::Ntfs:
            command = {"ntfs-3g", "-o", "no_detach", m_image, m_point};
            break;
        }
        StartDaemon(command);
        for (int i = 0; i < 100 && !(m_ok = IsMounted(m_point)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return m_ok;
    }
    std::string LoopDevice()
    {
        std::string device = Output("losetup -f --show " + Quoted(m_image));
        while (!device.empty() && device.back() == '\n') {
            device.pop_back();
        }
        return device;
    }
    // The driver runs in the foreground, so that the test can wait for it
    // to finish writing after the unmount.
    void StartDaemon(const std::vector<std::string>& command)
    {
        if (command.empty() || (m_fs.driver == Driver::ExFat && m_loop.empty())) {
            m_why = "no loop device";
            return;
        }
        m_daemon = ::fork();
        if (m_daemon == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<char*> argv;
            for (const std::string& arg : command) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
    }

    std::string m_image;
    std::string m_point;
    FileSystem m_fs;
    std::string m_loop;
    pid_t m_daemon = -1;
    bool m_ok = false;
    std::string m_why = "this machine cannot mount it (no loop device or FUSE in a sandbox?)";
};

#define VORN_MOUNT_OR_SKIP(mounted)                                                                \
    if (::geteuid() != 0) {                                                                        \
        GTEST_SKIP() << "mounting an image needs root; run the suite as root (as CI does)";        \
    }                                                                                              \
    if (!(mounted).Ok()) {                                                                         \
        GTEST_SKIP() << (mounted).Why();                                                           \
    }

#endif // VORN_TESTS_SUPPORT_MOUNTED_H
