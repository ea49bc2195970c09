// SPDX-License-Identifier: GPL-3.0-or-later
// Windows under a real window manager, also one that is slow to act: the
// window the program shows runs Form_Activate once, late answers of the
// window manager activate nothing, a click on another window activates it,
// and frames end up the size asked for.

#include "support/gui/windows.h"
#include "ui/form.h"
#include "ui/twips.h"

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

namespace {

QStringList events;  // what the windows did, in order

class Window : public ui::Form {
public:
    explicit Window(const QString& name) {
        setObjectName(name);
        setCaption(name);
    }

protected:
    void Form_Activate() override { events << objectName() + " activate"; }
};

// The window manager, paused while the program goes on: a slow one.
class WindowManager {
public:
    WindowManager() {
        const char* pid = std::getenv("PACEBOOK_WM_PID");
        pid_ = pid ? std::atoi(pid) : 0;
    }
    ~WindowManager() { resume(); }
    bool known() const { return pid_ > 0; }
    // Pauses it while it holds no grab of the X server (which would stop
    // the program too): the server must still answer another client.
    bool pause() {
        for (int attempt = 0; attempt < 50; ++attempt) {
            kill(pid_, SIGSTOP);
            QProcess probe;
            probe.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
            if (probe.waitForFinished(1000) && probe.exitCode() == 0) return true;
            probe.kill();
            probe.waitForFinished();
            resume();
            QThread::msleep(20);
        }
        return false;
    }
    void resume() {
        if (pid_ > 0) kill(pid_, SIGCONT);
    }

private:
    int pid_ = 0;
};

// The program goes on answering events for that long (the time the window
// manager is away).
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Until the window system has made w the active window.
bool systemActivated(QWidget* w) {
    return testsupport::waitFor([&] { return QGuiApplication::focusWindow() == w->windowHandle(); }, 10000);
}

std::string text(const QStringList& list) { return list.join(QStringLiteral(", ")).toStdString(); }

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(wm.known()) << "run through tests/x11/run.sh";
        events.clear();
    }
    void TearDown() override { wm.resume(); }

    Window* show(const char* name, int left) {
        auto* w = new Window(QString::fromLatin1(name));
        w->Move(left, 1500, 4500, 3000);
        w->Show();
        return w;
    }

    WindowManager wm;
};

// First in this program: no frame seen before gives the size away.
TEST_F(WindowManagerTest, frameAddedLateStillGetsTheOuterSizeAskedFor) {
    ASSERT_TRUE(wm.pause());
    Window* a = show("a", 1500);
    runFor(1500);
    wm.resume();
    const double pixel = ui::pixelsToTwipsX(1) + 0.01;
    auto fitted = [&] {
        return a->windowHandle() && !a->windowHandle()->frameMargins().isNull() &&
               std::abs(ui::pixelsToTwipsX(a->frameGeometry().width()) - 4500) < pixel &&
               std::abs(ui::pixelsToTwipsY(a->frameGeometry().height()) - 3000) < pixel;
    };
    ASSERT_TRUE(testsupport::waitFor(fitted, 10000))
        << a->frameGeometry().width() << " x " << a->frameGeometry().height() << " pixels";
    EXPECT_NEAR(a->Width(), 4500, pixel);
    EXPECT_NEAR(a->Height(), 3000, pixel);
    EXPECT_LT(a->ScaleHeight(), a->Height());  // the frame is not part of the client area
}

TEST_F(WindowManagerTest, windowsShownWhileItIsAwayActivateOnceEachInTheOrderShown) {
    Window* a = show("a", 500);
    ASSERT_TRUE(systemActivated(a));
    ASSERT_TRUE(wm.pause());
    show("b", 5500);
    Window* c = show("c", 10500);
    runFor(1500);
    // It maps and activates b and c, then answers the activations asked for.
    wm.resume();
    ASSERT_TRUE(systemActivated(c));
    runFor(500);
    ASSERT_TRUE(systemActivated(c));
    EXPECT_EQ(text(events), "a activate, b activate, c activate");
    EXPECT_EQ(ui::Forms::ActiveForm(), c);
}

TEST_F(WindowManagerTest, aClickOnAnotherWindowAfterAShowActivatesIt) {
    Window* a = show("a", 500);
    Window* b = show("b", 5500);
    ASSERT_TRUE(systemActivated(b));
    const QPoint inside = a->mapToGlobal(QPoint(20, 20));
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("mousemove"), QString::number(inside.x()), QString::number(inside.y()),
                                 QStringLiteral("click"), QStringLiteral("1")}),
              0);
    ASSERT_TRUE(testsupport::waitFor([&] { return ui::Forms::ActiveForm() == a; }, 10000)) << text(events);
    EXPECT_EQ(text(events), "a activate, b activate, a activate");
}

}  // namespace
