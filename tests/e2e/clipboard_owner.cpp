// SPDX-License-Identifier: GPL-3.0-or-later
// An X client that takes the clipboard and the selection, for the
// end-to-end paste test, and keeps them until it is killed:
//
//   pacebook-e2e-clipboard text TEXT    offers TEXT
//   pacebook-e2e-clipboard line N       offers one line of N characters
//   pacebook-e2e-clipboard nothing      owns them, offering no format
//
// It prints "ready" once it owns them. Killed (SIGKILL), it leaves a
// clipboard whose owner is gone.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    const bool nothing = std::strcmp(argv[1], "nothing") == 0;
    QString text;
    if (std::strcmp(argv[1], "text") == 0 && argc > 2)
        text = QString::fromUtf8(argv[2]);
    else if (std::strcmp(argv[1], "line") == 0 && argc > 2)
        text = QString(QString::fromLatin1(argv[2]).toInt(), u'x');
    else if (!nothing)
        return 2;
    for (QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
        auto* data = new QMimeData;
        if (!nothing) data->setText(text);
        QGuiApplication::clipboard()->setMimeData(data, mode);
    }
    // Once the event loop runs, the X server has been told.
    QTimer::singleShot(200, [] {
        std::puts("ready");
        std::fflush(stdout);
    });
    return app.exec();
}
