#pragma once

#include <QDir>

#include <cstdint>
#include <initializer_list>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

// A foot control's end and the test's end of a socket pair that keeps each report apart, as
// reads of a hidraw node do. The test's end is closed with the wire; the device's end belongs
// to whoever reads it.
struct Wire {
    Wire()
    {
        int ends[2] = {-1, -1};
        // Without descriptors the reader fails its first read: the pedal counts as unplugged.
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0) {
            device = ends[0];
            test = ends[1];
        }
    }
    ~Wire() { unplug(); }
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;

    // Whether the whole report went out.
    [[nodiscard]] bool send(std::initializer_list<std::uint8_t> report) const
    {
        const std::vector<std::uint8_t> bytes(report);
        return ::write(test, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // The end of the stream, as when the pedal is pulled out.
    void unplug()
    {
        if (test >= 0)
            ::close(test);
        test = -1;
    }

    int device = -1;
    int test = -1;
};

inline int OpenDescriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

} // namespace testing_support
