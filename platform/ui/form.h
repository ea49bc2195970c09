// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A top-level window of the program, with the life cycle the windows are
// written for: Load (runs Form_Load once), Show (modeless, or modal with an
// owner), Activate (when it becomes the program's active window), Resize,
// and Unload (runs Form_Unload, which may cancel; then the window is gone).
//
// Geometry is in twips and describes the outer frame. The collection of
// loaded windows (Forms) keeps them in load order; when the last loaded
// window is unloaded, the program ends.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cmath>

class QEventLoop;

#include <vector>

namespace ui {

enum WindowStateEnum : int { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };
enum FormShowEnum : int { vbModeless = 0, vbModal = 1 };

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // Loads the window if it is not loaded: it joins Forms and Form_Load runs
    // (through the error guard). Calling it again does nothing.
    void Load();
    bool isLoaded() const { return loaded_; }

    // Shows the window, loading it first. vbModal blocks until the window
    // is unloaded or hidden; meanwhile no other window of the program takes
    // input (application modal), and the window stays above its owner.
    void Show(int modal = vbModeless, Form* owner = nullptr);
    void Hide();

    // Unloads the window: Form_QueryUnload, then Form_Unload run; unless
    // either cancels, the window leaves Forms, closes and is deleted later
    // (so create windows with new). Returns false if cancelled.
    bool Unload();
    // Asks the window whether it may be unloaded (Form_QueryUnload), without
    // unloading it: false if it would refuse. A window that closes others
    // asks each of them before it unloads any.
    bool QueryUnload();

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }

    // Outer frame, in twips.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setLeft(double twips);
    void setTop(double twips);
    void setWidth(double twips);
    void setHeight(double twips);
    void Move(double left, double top, double width, double height);
    // Client area, in twips.
    double ScaleWidth() const;
    double ScaleHeight() const;
    void setClientSizeTwips(double width, double height);

    int WindowState() const;  // vbNormal, vbMinimized, vbMaximized
    void setWindowState(int state);

    // Makes this window the program's active window and runs Form_Activate
    // if another window (or none) was active before. Called for real
    // window activation; tests may call it directly.
    void activateForm();

protected:
    // The window's own events. Each runs through the error guard.
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    // Before the window is unloaded: setting Cancel keeps it as it is.
    virtual void Form_QueryUnload(int& Cancel) {}
    virtual void Form_Unload(int& Cancel) {}

    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    // Watches the window's exposes (to fit the frame); a window that filters
    // events of its own passes the others on to it.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QMargins frameMarginsPx() const;
    bool frameKnown() const;
    void fitOuterSize();

    bool loaded_ = false;
    bool unloading_ = false;
    bool inModalLoop_ = false;
    QEventLoop* modalLoop_ = nullptr;
    // Outer size asked for while the window's frame was not yet known
    // (NaN: none).
    double askedWidth_ = NAN;
    double askedHeight_ = NAN;
};

// The collection of loaded windows, in load order.
namespace Forms {
int Count();
Form* Item(int index);  // nullptr outside 0 .. Count() - 1
// The window most recently activated through activateForm (or nullptr).
Form* ActiveForm();
}  // namespace Forms

// The one shared instance of a window class: created and loaded on first
// use, and again after it was unloaded.
template <class T>
T& sharedInstance() {
    static QPointer<T> instance;
    if (!instance || !instance->isLoaded()) {
        instance = new T();
        instance->Load();
    }
    return *instance;
}

}  // namespace ui
