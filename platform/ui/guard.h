#pragma once
// Runs event handlers so that no error ever reaches the event loop.

#include <QObject>

#include <exception>
#include <utility>

namespace ui {

// Reports an error that no handler trapped: a message box with its number
// and description; the pointer goes back to the default. The program keeps
// running.
void reportUntrapped(const std::exception_ptr& error);

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

}  // namespace ui
