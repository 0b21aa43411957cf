#pragma once

#include "FakeTool.h"

#include "cli/Bundle.h"
#include "cli/TesselCLI.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

// A TesselCLI whose tool and repository are given directly, as a user's Info.json would.
inline TesselCLI makeCli(const QString &cliPath, const QString &repoDir,
                         std::optional<QString> profileRepoDir = std::nullopt) {
    Bundle bundle;
    bundle.info.insert(QStringLiteral("TesselCLIPath"), cliPath);
    bundle.info.insert(QStringLiteral("TesselRepoDir"), repoDir);
    if (profileRepoDir)
        bundle.info.insert(QStringLiteral("TesselProfileRepoDir"), *profileRepoDir);
    return TesselCLI(bundle);
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

    TesselCLI cli(std::optional<QString> profileRepoDir = std::nullopt) const {
        return makeCli(tool.path(), repoDir, std::move(profileRepoDir));
    }

    void writeUsage(const QByteArray &json) {
        writeFile(repoDir + QStringLiteral("/docs/usage.json"), json);
    }
};
