#include "FakeTool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

constexpr char script[] = R"SH(#!/bin/sh
here='@DIR@'
call="$here/calls/$(date +%s%N)-$$"
{ printf '%s\0' "$PWD"; printf '%s\0' "$@"; } > "$call.tmp" && mv "$call.tmp" "$call"
key="$1"
case "$2" in ""|-*) ;; *) key="$1-$2" ;; esac
r="$here/responses/$key"
[ -d "$r" ] || r="$here/responses/default"
[ -s "$r/delay" ] && sleep "$(cat "$r/delay")"
[ -f "$r/stdout" ] && cat "$r/stdout" &
[ -f "$r/stderr" ] && cat "$r/stderr" >&2
wait
[ -s "$r/signal" ] && kill -"$(cat "$r/signal")" $$
exit "$(cat "$r/exit" 2>/dev/null || echo 0)"
)SH";

} // namespace

void writeFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

FakeTool::FakeTool(const QString &directory)
    : m_directory(directory), m_path(directory + QStringLiteral("/tessel")) {
    QDir().mkpath(directory + QStringLiteral("/calls"));
    writeFile(m_path, QByteArray(script).replace("@DIR@", QFile::encodeName(directory)));
    QFile::setPermissions(m_path, QFile::permissions(m_path) | QFileDevice::ExeOwner |
                                      QFileDevice::ExeGroup | QFileDevice::ExeOther);
    respond(QStringLiteral("default"), {});
}

void FakeTool::respond(const QString &command, const Response &response) {
    const QString dir = m_directory + QStringLiteral("/responses/") + command + QStringLiteral("/");
    // An empty file stands for no signal and no delay.
    const auto optional = [](auto value) {
        return value ? QByteArray::number(value) : QByteArray();
    };
    writeFile(dir + QStringLiteral("stdout"), response.standardOutput);
    writeFile(dir + QStringLiteral("stderr"), response.standardError);
    writeFile(dir + QStringLiteral("exit"), QByteArray::number(response.exitCode));
    writeFile(dir + QStringLiteral("signal"), optional(response.signal));
    writeFile(dir + QStringLiteral("delay"), optional(response.delay));
}

QList<FakeTool::Invocation> FakeTool::invocations() const {
    QDir calls(m_directory + QStringLiteral("/calls"));
    QList<Invocation> result;
    for (const QString &name : calls.entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(QStringLiteral(".tmp")))
            continue;
        QFile file(calls.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QList<QByteArray> fields = file.readAll().split('\0');
        fields.removeLast(); // every field ends in a NUL, so the split leaves an empty tail
        Invocation invocation;
        invocation.workingDirectory = QString::fromLocal8Bit(fields.takeFirst());
        for (const QByteArray &field : fields)
            invocation.arguments << QString::fromUtf8(field);
        result << invocation;
    }
    return result;
}

QList<QStringList> FakeTool::argumentLists() const {
    QList<QStringList> lists;
    for (const Invocation &invocation : invocations())
        lists << invocation.arguments;
    return lists;
}

qsizetype FakeTool::runCount(const QString &firstArgument) const {
    qsizetype count = 0;
    for (const Invocation &invocation : invocations())
        count += !invocation.arguments.isEmpty() && invocation.arguments.front() == firstArgument;
    return count;
}
