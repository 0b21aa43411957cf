#pragma once

#include <QByteArray>

// An anonymous in-memory file that takes one output stream of a child. It is sealed at a
// fixed capacity, so a runaway writer meets a write error there instead of filling the
// memory, and it needs no reading while the child runs: the child shares the file's offset,
// which tells afterwards how much it wrote. Throws ProcessLaunchError when it cannot be made.
class CaptureFile {
public:
    explicit CaptureFile(const char *name);
    ~CaptureFile();
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    int descriptor() const { return m_descriptor; }

    // How much the child wrote; more than the output limit when it tried to pass it.
    qint64 written() const;
    // What the child wrote, at most `limit` bytes of it.
    QByteArray contents(qint64 limit) const;

private:
    int m_descriptor = -1;
};
