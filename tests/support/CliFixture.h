#pragma once

#include "FakeTool.h"

#include "cli/Bundle.h"
#include "cli/TesselCLI.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A TesselCLI whose tool and repository are given directly, as a user's Info.json would,
// together with any further keys of `info`.
inline TesselCLI makeCli(const QString &cliPath, const QString &repoDir, QJsonObject info = {}) {
    info.insert(QStringLiteral("TesselCLIPath"), cliPath);
    info.insert(QStringLiteral("TesselRepoDir"), repoDir);
    return TesselCLI(Bundle{std::nullopt, info});
}

// A temporary folder holding a fake tool and a repository folder for it to work in.
class CliTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QString repoDir = temp.filePath(QStringLiteral("repo"));
    FakeTool tool{temp.filePath(QStringLiteral("tool"))};

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(QDir().mkpath(repoDir));
    }

    TesselCLI cli(const QJsonObject &info = {}) const {
        return makeCli(tool.path(), repoDir, info);
    }

    void writeUsage(const QByteArray &json) {
        writeFile(repoDir + QStringLiteral("/docs/usage.json"), json);
    }
};
