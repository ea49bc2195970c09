// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form.h"

#include "dao/errors.h"
#include "ui/guard.h"
#include "ui/statementprogress.h"
#include "ui/twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QWindow>

#include <algorithm>
#include <utility>

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

// Show activates a window at once, but the window system answers later,
// and a slow window manager may answer the program's earlier requests
// (and activate the windows it maps) well after a later Show: from a Show
// until the user next clicks, types or turns the wheel, the window system's
// activations of other windows are those late answers and are passed over.
// Once the user acts, the window the system made active meanwhile (if any)
// is activated then.
struct ShownWindow {
    QPointer<Form> form;     // the window Show activated
    QPointer<Form> passed;   // the last activation passed over since
};
ShownWindow& justShown() {
    static ShownWindow shown;
    return shown;
}

class UserInput : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
};

void expectActivation(Form* form) {
    static UserInput* watch = nullptr;
    if (!watch) {
        watch = new UserInput(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watch);
    }
    justShown() = {form, nullptr};
}

// Whether a WindowActivate event delivered to form should raise its Activate.
bool acceptActivation(Form* form) {
    // A window under a modal one takes no input, so it is not activated.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != form) return false;
    ShownWindow& shown = justShown();
    if (shown.form && shown.form->isVisible() && shown.form != form) {
        shown.passed = form;
        return false;
    }
    if (shown.form && !shown.form->isVisible()) shown = {};
    return true;
}

bool UserInput::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        if (justShown().form) {
            const QPointer<Form> passed = justShown().passed;
            justShown() = {};
            if (passed && passed->isLoaded() && QApplication::activeWindow() == passed) passed->activateForm();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}

// The window to activate once the running statement has ended.
QPointer<Form>& deferredActivation() {
    static QPointer<Form> form;
    return form;
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
    if (!isVisible() && !std::isnan(askedWidth_)) return askedWidth_;
    const QMargins m = frameMarginsPx();
    return pixelsToTwipsX(width() + m.left() + m.right());
}

double Form::Height() const {
    if (!isVisible() && !std::isnan(askedHeight_)) return askedHeight_;
    const QMargins m = frameMarginsPx();
    return pixelsToTwipsY(height() + m.top() + m.bottom());
}

void Form::setLeft(double twips) { move(twipsToPixelsX(twips), y()); }
void Form::setTop(double twips) { move(x(), twipsToPixelsY(twips)); }

void Form::setWidth(double twips) {
    askedWidth_ = twips;
    fitOuterSize();
}

void Form::setHeight(double twips) {
    askedHeight_ = twips;
    fitOuterSize();
}

bool Form::frameKnown() const {
    return isVisible() && windowHandle() && !windowHandle()->frameMargins().isNull();
}

// Sizes the window so that its outer frame has the size asked for, with
// the best knowledge of the frame there is. The window manager adds the
// frame some time after the window is shown; until this window's own frame
// is known, the size asked for is kept and fitted again when the window
// system shows the window or moves it (which is how a new frame shows up).
void Form::fitOuterSize() {
    if (std::isnan(askedWidth_) && std::isnan(askedHeight_)) return;
    const QMargins m = frameMarginsPx();
    int w = width();
    int h = height();
    if (!std::isnan(askedWidth_)) w = std::max(0, twipsToPixelsX(askedWidth_) - m.left() - m.right());
    if (!std::isnan(askedHeight_)) h = std::max(0, twipsToPixelsY(askedHeight_) - m.top() - m.bottom());
    resize(w, h);
    if (frameKnown()) {
        askedWidth_ = NAN;
        askedHeight_ = NAN;
    }
}

void Form::Move(double left, double top, double width, double height) {
    move(twipsToPixelsX(left), twipsToPixelsY(top));
    setWidth(width);
    setHeight(height);
}

double Form::ScaleWidth() const { return pixelsToTwipsX(width()); }
double Form::ScaleHeight() const { return pixelsToTwipsY(height()); }

void Form::setClientSizeTwips(double width, double height) {
    askedWidth_ = NAN;
    askedHeight_ = NAN;
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
    // While a statement runs, the program answers events from inside it
    // (ui::StatementProgress); Form_Activate may open the log, so it runs
    // once the statement has ended, for the window activated last.
    if (StatementProgress::running()) {
        QPointer<Form>& pending = deferredActivation();
        if (!pending) {
            StatementProgress::afterRunning(QCoreApplication::instance(), [] {
                QPointer<Form> form = std::exchange(deferredActivation(), nullptr);
                if (form && form->loaded_) form->activateForm();
            });
        }
        pending = this;
        return;
    }
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
    // Exposes of the window tell when it is on the screen, framed.
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
    fitOuterSize();
}

void Form::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (frameKnown()) fitOuterSize();
}

bool Form::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Expose && watched == windowHandle() && frameKnown()) fitOuterSize();
    return QWidget::eventFilter(watched, e);
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
