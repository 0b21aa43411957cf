#include "state/ErrorDescription.h"

QString describeError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        // Every error type of the project carries its description as UTF-8 in what().
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}
