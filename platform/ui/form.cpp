// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form.h"

#include "dao/errors.h"
#include "ui/guard.h"
#include "ui/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace ui {

namespace {

std::vector<Form*>& loadedForms() {
    static std::vector<Form*> forms;
    return forms;
}

QPointer<Form>& lastActive() {
    static QPointer<Form> form;
    return form;
}

// The window that Show just made active, while the window system has not
// yet confirmed it: activations of other windows that it delivers meanwhile
// are late news from before the Show.
struct ShownWindow {
    QPointer<Form> form;
    QElapsedTimer since;
};
ShownWindow& justShown() {
    static ShownWindow shown;
    return shown;
}
constexpr int kActivationLatencyMs = 500;

void expectActivation(Form* form) {
    justShown().form = form;
    justShown().since.start();
}

// Whether a WindowActivate event delivered to form should raise its Activate.
bool acceptActivation(Form* form) {
    // A window under a modal one takes no input, so it is not activated.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != form) return false;
    ShownWindow& shown = justShown();
    if (shown.form) {
        if (shown.form == form) {
            shown.form = nullptr;
        } else if (shown.form->isVisible() && shown.since.elapsed() < kActivationLatencyMs) {
            return false;
        } else {
            shown.form = nullptr;
        }
    }
    return true;
}

// Frame margins of the last window whose frame was known: the best guess
// for a window that has not been shown yet.
QMargins& knownMargins() {
    static QMargins margins;
    return margins;
}

void forget(Form* form) {
    auto& forms = loadedForms();
    forms.erase(std::remove(forms.begin(), forms.end(), form), forms.end());
    if (lastActive() == form) lastActive() = nullptr;
}

}  // namespace

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {}

Form::~Form() {
    if (modalLoop_) modalLoop_->quit();
    forget(this);
}

void Form::Load() {
    if (loaded_) return;
    loaded_ = true;
    loadedForms().push_back(this);
    guard([this] { Form_Load(); });
}

void Form::Show(int modal, Form* owner) {
    QPointer<Form> self(this);
    Load();
    if (!self || !loaded_) return;  // Form_Load unloaded it

    if (modal != vbModal) {
        show();
        raise();
        activateWindow();
        if (Forms::ActiveForm() != this) expectActivation(this);
        activateForm();
        return;
    }

    if (inModalLoop_) {  // already up as a modal window
        raise();
        activateWindow();
        return;
    }
    if (isVisible()) hide();
    setWindowModality(Qt::ApplicationModal);
    QPointer<Form> ownerWindow(owner);
    if (owner && owner != this) {
        owner->winId();
        winId();
        if (windowHandle()) windowHandle()->setTransientParent(owner->windowHandle());
    }

    QEventLoop loop;
    modalLoop_ = &loop;
    inModalLoop_ = true;
    show();
    raise();
    activateWindow();
    if (Forms::ActiveForm() != this) expectActivation(this);
    activateForm();
    if (self && loaded_ && isVisible()) loop.exec(QEventLoop::DialogExec);
    if (!self) return;  // deleted while it was up

    modalLoop_ = nullptr;
    inModalLoop_ = false;
    if (isHidden()) setWindowModality(Qt::NonModal);
    if (ownerWindow && ownerWindow->isVisible()) ownerWindow->activateWindow();
}

void Form::Hide() { hide(); }

bool Form::Unload() {
    if (!loaded_) return true;
    if (unloading_) return true;  // already on its way out

    QPointer<Form> self(this);
    int Cancel = 0;
    unloading_ = true;
    guard([&] { Form_QueryUnload(Cancel); });
    if (!self) return true;
    if (Cancel == 0) guard([&] { Form_Unload(Cancel); });
    if (!self) return true;
    unloading_ = false;
    if (Cancel != 0) return false;

    loaded_ = false;
    forget(this);
    if (modalLoop_) modalLoop_->quit();
    hide();
    // Deleted once control is back in the event loop, so a handler that
    // unloads its own window may still finish.
    deleteLater();
    if (loadedForms().empty()) QCoreApplication::quit();
    return true;
}

bool Form::QueryUnload() {
    if (!loaded_ || unloading_) return true;
    QPointer<Form> self(this);
    int Cancel = 0;
    unloading_ = true;
    guard([&] { Form_QueryUnload(Cancel); });
    if (!self) return true;
    unloading_ = false;
    return Cancel == 0;
}

QMargins Form::frameMarginsPx() const {
    if (QWindow* window = windowHandle()) {
        const QMargins margins = window->frameMargins();
        if (!margins.isNull()) {
            knownMargins() = margins;
            return margins;
        }
    }
    return knownMargins();
}

double Form::Left() const { return pixelsToTwipsX(x()); }
double Form::Top() const { return pixelsToTwipsY(y()); }

double Form::Width() const {
    if (!std::isnan(pendingWidth_)) return pendingWidth_;
    const QMargins m = frameMarginsPx();
    return pixelsToTwipsX(width() + m.left() + m.right());
}

double Form::Height() const {
    if (!std::isnan(pendingHeight_)) return pendingHeight_;
    const QMargins m = frameMarginsPx();
    return pixelsToTwipsY(height() + m.top() + m.bottom());
}

void Form::setLeft(double twips) { move(twipsToPixelsX(twips), y()); }
void Form::setTop(double twips) { move(x(), twipsToPixelsY(twips)); }

void Form::setWidth(double twips) {
    pendingWidth_ = twips;
    applyOuterSize();
    if (isVisible()) pendingWidth_ = NAN;
}

void Form::setHeight(double twips) {
    pendingHeight_ = twips;
    applyOuterSize();
    if (isVisible()) pendingHeight_ = NAN;
}

// Sizes the window so that its outer frame has the size asked for, with
// the best knowledge of the frame there is.
void Form::applyOuterSize() {
    const QMargins m = frameMarginsPx();
    int w = width();
    int h = height();
    if (!std::isnan(pendingWidth_)) w = std::max(0, twipsToPixelsX(pendingWidth_) - m.left() - m.right());
    if (!std::isnan(pendingHeight_)) h = std::max(0, twipsToPixelsY(pendingHeight_) - m.top() - m.bottom());
    resize(w, h);
}

void Form::Move(double left, double top, double width, double height) {
    move(twipsToPixelsX(left), twipsToPixelsY(top));
    setWidth(width);
    setHeight(height);
}

double Form::ScaleWidth() const { return pixelsToTwipsX(width()); }
double Form::ScaleHeight() const { return pixelsToTwipsY(height()); }

void Form::setClientSizeTwips(double width, double height) {
    pendingWidth_ = NAN;
    pendingHeight_ = NAN;
    resize(twipsToPixelsX(width), twipsToPixelsY(height));
}

int Form::WindowState() const {
    if (isMinimized()) return vbMinimized;
    if (isMaximized()) return vbMaximized;
    return vbNormal;
}

void Form::setWindowState(int state) {
    if (state != vbNormal && state != vbMinimized && state != vbMaximized)
        throw dao::Error(dao::err::InvalidPropertyValue);
    Qt::WindowStates states = windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state == vbMinimized) states |= Qt::WindowMinimized;
    if (state == vbMaximized) states |= Qt::WindowMaximized;
    QWidget::setWindowState(states);
}

void Form::activateForm() {
    if (lastActive() == this) return;
    lastActive() = this;
    guard([this] { Form_Activate(); });
}

bool Form::event(QEvent* e) {
    // Message boxes and other windows that are not Forms leave lastActive
    // alone, so closing a box does not count as activating the window under it.
    if (e->type() == QEvent::WindowActivate && loaded_ && acceptActivation(this)) activateForm();
    return QWidget::event(e);
}

void Form::closeEvent(QCloseEvent* e) {
    if (!loaded_) {
        e->accept();
        return;
    }
    // The close box unloads the window; Unload hides it unless cancelled.
    e->ignore();
    Unload();
}

void Form::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (loaded_) guard([this] { Form_Resize(); });
}

void Form::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    // Minimizing does not resize the widget, but the window's own Resize
    // event is raised for it as well.
    if (e->type() == QEvent::WindowStateChange && loaded_ && isMinimized()) guard([this] { Form_Resize(); });
}

void Form::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (std::isnan(pendingWidth_) && std::isnan(pendingHeight_)) return;
    // The frame becomes known some time after the window is on the screen
    // (the window manager adds it): size the outer frame as asked for once it
    // is, or with the best guess if it never shows up.
    applyOuterSize();
    for (int delay : {0, 50, 200, 1000}) {
        QTimer::singleShot(delay, this, [this, last = delay == 1000] { settleOuterSize(last); });
    }
}

void Form::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (isVisible()) settleOuterSize(false);
}

void Form::settleOuterSize(bool lastTry) {
    if (std::isnan(pendingWidth_) && std::isnan(pendingHeight_)) return;
    const bool frameKnown = windowHandle() && !windowHandle()->frameMargins().isNull();
    if (!frameKnown && !lastTry) return;
    applyOuterSize();
    pendingWidth_ = NAN;
    pendingHeight_ = NAN;
}

void Form::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // Hidden (not minimized): a modal Show returns.
    if (modalLoop_ && isHidden()) modalLoop_->quit();
}

namespace Forms {

int Count() { return static_cast<int>(loadedForms().size()); }

Form* Item(int index) {
    const auto& forms = loadedForms();
    if (index < 0 || index >= static_cast<int>(forms.size())) return nullptr;
    return forms[static_cast<std::size_t>(index)];
}

Form* ActiveForm() { return lastActive(); }

}  // namespace Forms

}  // namespace ui
