#pragma once

#include "cli/DescribedError.h"

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// A file the utility reads, opened without waiting and accepted only when it is a regular
// file of at most `maxBytes`: a FIFO, device or folder put in its place is refused at once
// instead of hanging the reader or feeding it without end, and an oversized file is refused
// before it is read. Throws FileReadError naming the file and the reason.
class RegularFile {
public:
    RegularFile(const QString &path, qint64 maxBytes);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // What the file was when it was opened.
    const struct stat &info() const { return m_info; }
    // The whole file; refused when it has grown past the limit since it was opened.
    QByteArray readAll();

private:
    QString m_path;
    qint64 m_maxBytes;
    int m_descriptor = -1;
    struct stat m_info {};
};

// A file that could not be read or was refused; the reason alone is kept apart so that callers
// can name the file in words of their own.
class FileReadError : public DescribedError {
public:
    FileReadError(const QString &path, const QString &reason);
    QString reason() const { return m_reason; }

private:
    QString m_reason;
};

// "1 MiB", "32 MiB", "2.5 MiB", "900 KiB": file sizes in refusals.
QString binarySize(qint64 bytes);
