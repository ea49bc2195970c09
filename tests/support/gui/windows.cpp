#include "support/gui/windows.h"

#include "ui/form.h"

#include <QCoreApplication>
#include <QEvent>

namespace testsupport {

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

void unloadAllForms() {
    // A window whose unload is cancelled would stop the loop: give each one
    // try, then delete what is left.
    for (int i = ui::Forms::Count() - 1; i >= 0; --i) {
        if (ui::Form* form = ui::Forms::Item(i)) {
            if (!form->Unload()) delete form;
        }
    }
    processDeletes();
}

}  // namespace testsupport
