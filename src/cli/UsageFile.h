#pragma once

#include "cli/ReportFormats.h"

#include <QString>

#include <qcoro/qcorotask.h>

// Reads and decodes the usage file on a worker thread, so a large file never stalls the
// GUI thread. Throws UsageFileError naming the file and what went wrong.
QCoro::Task<UsageReport> readUsageFile(QString path);

// The same, synchronously, on the calling thread.
UsageReport loadUsageFile(const QString &path);
