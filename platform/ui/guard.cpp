// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/guard.h"

#include "dao/errors.h"
#include "ui/msgbox.h"
#include "ui/screen.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QVariant>

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

// Whether an event stands for something the user did (or asked for), so
// that its failure may be reported on the spot.
bool isUserAction(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Close:
    case QEvent::Drop:
    case QEvent::MetaCall:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

// The objects and kinds of events whose failure was reported already.
const char* const kReportedProperty = "_pacebook_failedEvents";

bool firstFailure(QObject* receiver, QEvent::Type type) {
    if (!receiver) return true;
    QList<QVariant> seen = receiver->property(kReportedProperty).toList();
    if (seen.contains(QVariant(int(type)))) return false;
    seen.append(QVariant(int(type)));
    receiver->setProperty(kReportedProperty, seen);
    return true;
}

}  // namespace

void reportFromEventLoop(QObject* receiver, QEvent* event, const std::exception_ptr& error) {
    if (!error) return;
    const QEvent::Type type = event ? event->type() : QEvent::None;
    if (isUserAction(type)) {
        reportUntrapped(error);
        return;
    }
    if (!firstFailure(receiver, type)) {
        const auto [number, description] = describe(error);
        std::fprintf(stderr, "Run-time error '%d' again (event %d): %s\n", number, int(type),
                     qPrintable(description));
        return;
    }
    // After the event: no box while a window paints or changes size.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [error] { reportUntrapped(error); }, Qt::QueuedConnection);
}

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
