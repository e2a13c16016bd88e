// An open descriptor that is always closed.
#ifndef VORN_SHRED_FD_H
#define VORN_SHRED_FD_H

#include <cerrno>
#include <unistd.h>
#include <utility>

class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() { return std::exchange(m_fd, -1); }
    // Closes what it holds and takes `fd` instead.
    void Reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    // Closes now and reports the result: a failed close can lose data.
    int Close()
    {
        const int rc = ::close(Release());
        return rc == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

#endif // VORN_SHRED_FD_H
