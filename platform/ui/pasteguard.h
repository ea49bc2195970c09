// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The paste guard of every one-line text box (line edits, the editors of
// combo boxes, spin boxes and grid cells), installed on the application:
// Ctrl+V, Shift+Insert or the middle button (the selection paste under X11)
// with no text to paste does nothing. (Qt's own paste of nothing replaces
// the selected text with nothing: a cell being edited, all of it selected,
// was emptied.) Multi-line boxes guard themselves (controls/textbox.h).

class QObject;

namespace ui {

// Installs the guard on the application object (once; ui::Application does).
void installPasteGuard(QObject* application);

}  // namespace ui
