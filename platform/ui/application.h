// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's QApplication: the last net for errors thrown inside event
// handling (reported like an untrapped error; the event loop goes on).

#include <QApplication>

namespace ui {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace ui
