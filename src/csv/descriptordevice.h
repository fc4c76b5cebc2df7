#pragma once

#include "filesystem.h"
#include "openedfile.h"

#include <QIODevice>

#include <cerrno>

namespace ItemCsv {

// An open file descriptor as a device, every read and write going through the file system.
// Writes are retried until every byte is taken or the system gives a reason.
class DescriptorDevice : public QIODevice
{
public:
    DescriptorDevice(FileSystem &fileSystem, int descriptor, qint64 size = 0)
        : m_fileSystem(fileSystem)
        , m_descriptor(descriptor)
        , m_size(size)
    {
    }
    bool isSequential() const override { return true; }
    // What the file's status said, for progress: a sequential device has no size of its own.
    qint64 size() const override { return m_size; }
    // The reason for the last failed read or write.
    int error() const { return m_error; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        for (;;) {
            const ssize_t read = m_fileSystem.read(m_descriptor, data, size_t(maxSize));
            if (read >= 0)
                return read;
            if (errno != EINTR)
                return failed(errno);
        }
    }
    qint64 writeData(const char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            const ssize_t written
                = m_fileSystem.write(m_descriptor, data + done, size_t(maxSize - done));
            if (written < 0 && errno == EINTR)
                continue;
            // A write that takes nothing and gives no reason would repeat for ever.
            if (written <= 0)
                return failed(written < 0 ? errno : EIO);
            done += written;
        }
        return done;
    }

private:
    qint64 failed(int error)
    {
        m_error = error;
        setErrorString(systemError(error));
        return -1;
    }

    FileSystem &m_fileSystem;
    int m_descriptor;
    qint64 m_size;
    int m_error = 0;
};

} // namespace ItemCsv
