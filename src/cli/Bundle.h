#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// The application "bundle": the resource folder beside the executable's folder
// (<prefix>/share/tesselmenu) and the information dictionary read from its Info.json,
// overlaid key by key by the user's $XDG_CONFIG_HOME/TesselMenu/Info.json.
struct Bundle {
    std::optional<QString> resourcePath;
    QJsonObject info;

    static Bundle main();
    // The bundle whose resource folder is `resources`, with the user's overlay applied.
    static Bundle atResourceFolder(const QString &resources);
    // The value under `key`, or an undefined value when the dictionary has none.
    QJsonValue objectForInfoDictionaryKey(const QString &key) const;
};
