#include "cli/TesselCLIError.h"

TesselCLIError::TesselCLIError(Kind kind, QString payload)
    : m_kind(kind), m_payload(std::move(payload)), m_utf8(errorDescription().toUtf8()) {}

TesselCLIError TesselCLIError::missingCLI(QString path) {
    return TesselCLIError(Kind::missingCLI, std::move(path));
}

TesselCLIError TesselCLIError::commandFailed(QString message) {
    return TesselCLIError(Kind::commandFailed, std::move(message));
}

TesselCLIError TesselCLIError::invalidResponse() {
    return TesselCLIError(Kind::invalidResponse, QString());
}

QString TesselCLIError::errorDescription() const {
    switch (m_kind) {
    case Kind::missingCLI:
        return QStringLiteral("找不到 tessel CLI：") + m_payload;
    case Kind::commandFailed:
        return m_payload;
    case Kind::invalidResponse:
        return QStringLiteral("无法解析 tessel 的输出结果");
    }
    return m_payload;
}
