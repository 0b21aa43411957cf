#include "cli/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

QString systemReason(int error) {
    if (error == ENOENT)
        return QStringLiteral("文件不存在");
    return QString::fromLocal8Bit(std::strerror(error));
}

QString tooLarge(std::optional<qint64> size, qint64 limit) {
    if (!size)
        return QStringLiteral("文件过大（超过上限 %1）").arg(binarySize(limit));
    return QStringLiteral("文件过大（%1，上限 %2）").arg(binarySize(*size), binarySize(limit));
}

} // namespace

FileReadError::FileReadError(const QString &path, const QString &reason)
    : DescribedError(QStringLiteral("无法读取 %1：%2").arg(path, reason)), m_reason(reason) {}

QString binarySize(qint64 bytes) {
    constexpr qint64 mebibyte = 1024 * 1024;
    if (bytes >= mebibyte)
        return bytes % mebibyte == 0
                   ? QStringLiteral("%1 MiB").arg(bytes / mebibyte)
                   : QStringLiteral("%1 MiB").arg(double(bytes) / mebibyte, 0, 'f', 1);
    return QStringLiteral("%1 KiB").arg((bytes + 1023) / 1024);
}

RegularFile::RegularFile(const QString &path, qint64 maxBytes)
    : m_path(path), m_maxBytes(maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    m_descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_descriptor < 0)
        throw FileReadError(path, systemReason(errno));
    QString refusal;
    if (::fstat(m_descriptor, &m_info) != 0)
        refusal = systemReason(errno);
    else if (S_ISDIR(m_info.st_mode))
        refusal = QStringLiteral("这是一个文件夹，不是文件");
    else if (!S_ISREG(m_info.st_mode))
        refusal = QStringLiteral("这不是普通文件");
    else if (m_info.st_size > maxBytes)
        refusal = tooLarge(m_info.st_size, maxBytes);
    if (!refusal.isEmpty()) {
        ::close(m_descriptor);
        throw FileReadError(path, refusal);
    }
}

RegularFile::~RegularFile() {
    ::close(m_descriptor);
}

QByteArray RegularFile::readAll() {
    // Sized from the file, but read to its end: a file that grows meanwhile, or one of the
    // kernel's that reports no size, is still bounded by the limit.
    const qint64 expected = std::min<qint64>(std::max<qint64>(m_info.st_size, 4095), m_maxBytes);
    QByteArray bytes(static_cast<qsizetype>(expected + 1), Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > m_maxBytes)
                throw FileReadError(m_path, tooLarge(std::nullopt, m_maxBytes));
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, m_maxBytes + 1));
        }
        const ssize_t got =
            ::read(m_descriptor, bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileReadError(m_path, systemReason(errno));
        if (got == 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    return bytes;
}
