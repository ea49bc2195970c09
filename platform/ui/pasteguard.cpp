// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pasteguard.h"

#include <QAbstractSpinBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QVariant>

namespace ui {

namespace {

// Whether the clipboard (or the selection) holds text to paste.
bool hasTextToPaste(QClipboard::Mode mode) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    return data && !data->formats().isEmpty() && !data->text().isEmpty();
}

class PasteGuard : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* target, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::MouseButtonRelease) return false;
        // A spin box hands its keys to its line edit itself.
        const auto* line = qobject_cast<QLineEdit*>(target);
        const auto* spin = qobject_cast<QAbstractSpinBox*>(target);
        if ((!line || line->isReadOnly()) && (!spin || spin->isReadOnly())) return false;
        QClipboard::Mode mode = QClipboard::Clipboard;
        if (type == QEvent::KeyPress) {
            if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) return false;
        } else {
            if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton ||
                !QGuiApplication::clipboard()->supportsSelection())
                return false;
            mode = QClipboard::Selection;
        }
        if (hasTextToPaste(mode)) return false;
        event->accept();  // nothing to paste: the text stays as it is
        return true;
    }
};

}  // namespace

void installPasteGuard(QObject* application) {
    static const char* const kInstalled = "pacebookPasteGuard";
    if (application->property(kInstalled).toBool()) return;
    application->setProperty(kInstalled, true);
    application->installEventFilter(new PasteGuard(application));
}

}  // namespace ui
