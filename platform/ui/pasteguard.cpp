// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pasteguard.h"

#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
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

// A one-line box the user can type into. Combo and spin boxes hand their
// keys to their line edits themselves, past any filter: they count too.
bool takesText(QObject* target) {
    if (const auto* line = qobject_cast<QLineEdit*>(target)) return !line->isReadOnly();
    if (const auto* spin = qobject_cast<QAbstractSpinBox*>(target)) return !spin->isReadOnly();
    if (const auto* combo = qobject_cast<QComboBox*>(target))
        return combo->isEditable() && combo->lineEdit() && !combo->lineEdit()->isReadOnly();
    return false;
}

class PasteGuard : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* target, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::MouseButtonRelease) return false;
        if (!takesText(target)) return false;
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
