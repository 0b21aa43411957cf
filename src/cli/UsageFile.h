#pragma once

#include "cli/ReportFormats.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>

class UsageFileCache;

// Reads and decodes the usage file on a worker thread, so a large file never stalls the
// GUI thread. Throws UsageFileError naming the file and what went wrong. With a cache, a file
// found exactly as it was last read is not decoded again.
QCoro::Task<UsageReport> readUsageFile(QString path, std::shared_ptr<UsageFileCache> cache = {});

// The same, synchronously, on the calling thread.
UsageReport loadUsageFile(const QString &path, UsageFileCache *cache = nullptr);
