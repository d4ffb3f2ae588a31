// The boundary of every window handler: no error gets past it.

#include "common/StdFuncsMisc.h"

QString ErrorText(const std::exception_ptr& Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        // Not one of ours nor the library's: its type is all there is, and
        // it has no text.
        return QStringLiteral("unknown error");
    }
}

bool RunHandler(const std::function<void()>& Handler) {
    try {
        Handler();
        return true;
    } catch (...) {
        // The boundary itself: whatever the error, it stops here.
        ShowPlainMessage(ErrorText(std::current_exception()));
        return false;
    }
}
