// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs event handlers so that no error ever reaches the event loop.

#include <QEvent>
#include <QObject>

#include <exception>
#include <utility>

namespace ui {

// Reports an error that no handler trapped: a message box with its number
// and description; the pointer goes back to the default. The program keeps
// running.
void reportUntrapped(const std::exception_ptr& error);

// The last net, for an error that escaped the handling of an event
// (ui::Application::notify). An error from the user's own action (a click,
// a key, a queued call) is reported at once, like reportUntrapped. One from
// painting, resizing, a timer or any other event the program raises itself
// is reported once the event has ended, never from inside it, and only the
// first time for that object and kind of event: a window that fails to
// paint would otherwise bring the message back each time it repaints.
// Later repeats go to the standard error output.
void reportFromEventLoop(QObject* receiver, QEvent* event, const std::exception_ptr& error);

// Runs f; an exception it throws is reported by reportUntrapped and ends it.
template <class F>
void guard(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        reportUntrapped(std::current_exception());
    }
}

// Connects a signal to a handler member function of a window, through guard:
//   ui::onEvent(cmdAdd, &QPushButton::clicked, this, &frmaddnew::cmdAdd_Click);
// The signal's arguments are dropped; use a lambda with guard for handlers
// that take arguments.
template <class Sender, class Signal, class Receiver, class Handler>
QMetaObject::Connection onEvent(Sender* sender, Signal signal, Receiver* receiver, Handler handler) {
    return QObject::connect(sender, signal, receiver, [receiver, handler](auto&&...) {
        guard([&] { (receiver->*handler)(); });
    });
}

// Connects a signal that asks for an answer through reference arguments
// (Cancel, Response, Action, Save) to a handler member function taking the
// same arguments, through guard:
//   ui::onAnswer(grdDataGrid, &controls::DataGrid::BeforeDelete, this,
//                &frmDataGrid::grdDataGrid_BeforeDelete);
// Such a signal works only with a direct connection, which this always
// makes: Qt cannot queue a reference, so a queued connection would drop the
// call with a warning and the sender would read an answer nobody gave (a
// delete done without its confirmation). The test programs fail on that
// warning (tests/support).
template <class Sender, class SignalClass, class... Args, class Receiver, class Handler>
QMetaObject::Connection onAnswer(Sender* sender, void (SignalClass::*signal)(Args...), Receiver* receiver,
                                 Handler handler) {
    return QObject::connect(
        sender, signal, receiver,
        [receiver, handler](Args... args) { guard([&] { (receiver->*handler)(args...); }); },
        Qt::DirectConnection);
}

}  // namespace ui
