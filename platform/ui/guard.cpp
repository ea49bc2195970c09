#include "ui/guard.h"

#include "dao/errors.h"
#include "ui/msgbox.h"
#include "ui/screen.h"

#include <QString>

#include <cstdio>
#include <new>

namespace ui {

namespace {

// Number and description of whatever was thrown.
std::pair<int, QString> describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const dao::Error& e) {
        return {e.Number(), e.Description()};
    } catch (const std::bad_alloc&) {
        return {dao::err::OutOfMemory, dao::description(dao::err::OutOfMemory)};
    } catch (const std::exception& e) {
        const QString what = QString::fromUtf8(e.what());
        return {dao::err::Internal,
                what.isEmpty() ? QStringLiteral("Internal error") : QStringLiteral("Internal error: ") + what};
    } catch (...) {
        return {dao::err::Internal, QStringLiteral("Internal error")};
    }
}

}  // namespace

void reportUntrapped(const std::exception_ptr& error) {
    if (!error) return;
    const auto [number, description] = describe(error);
    const QString text = QStringLiteral("Run-time error '%1':\n\n%2").arg(number).arg(description);
    try {
        // Whatever was busy has ended: the pointer must not stay on the hourglass.
        Screen::setMousePointer(Screen::vbDefault);
        MsgBox(text, vbOKOnly | vbCritical);
    } catch (...) {
        // The report itself failed; say so where it can still be seen.
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
}

}  // namespace ui
