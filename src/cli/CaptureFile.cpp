#include "cli/CaptureFile.h"

#include "cli/DescribedError.h"
#include "cli/ProcessRunner.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Room past the output limit, so that a writer stopped a little short of the seal (the kernel
// refuses a whole page or folio at a time) has still visibly passed the limit.
constexpr qint64 sealMargin = 4 * 1024 * 1024;

[[noreturn]] void fail(const char *name) {
    throw ProcessLaunchError(
        QString::fromLatin1(name),
        QStringLiteral("无法建立输出缓冲：%1").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

CaptureFile::CaptureFile(const char *name)
    : m_descriptor(memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING)) {
    if (m_descriptor < 0)
        fail(name);
    // Above the standard streams, which the child's dup2 onto them must not overwrite.
    if (m_descriptor <= STDERR_FILENO) {
        const int moved = fcntl(m_descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        ::close(m_descriptor);
        m_descriptor = moved;
        if (m_descriptor < 0)
            fail(name);
    }
    // Sparse: only what the child writes takes memory.
    if (ftruncate(m_descriptor, maxOutputBytes + sealMargin) != 0 ||
        fcntl(m_descriptor, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK) != 0) {
        const int saved = errno;
        ::close(m_descriptor);
        errno = saved;
        fail(name);
    }
}

CaptureFile::~CaptureFile() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

qint64 CaptureFile::written() const {
    const off_t offset = lseek(m_descriptor, 0, SEEK_CUR);
    return offset < 0 ? 0 : static_cast<qint64>(offset);
}

QByteArray CaptureFile::contents(qint64 limit) const {
    QByteArray bytes(static_cast<qsizetype>(std::min(written(), limit)), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = pread(m_descriptor, bytes.data() + filled,
                                  static_cast<size_t>(bytes.size() - filled), filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        filled += got;
    }
    bytes.truncate(filled);
    return bytes;
}
