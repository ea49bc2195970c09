// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: its look, how it closes, and the start of the
// system-information tool found through the registry.

#include "forms/about/frmAbout.h"
#include "forms/about/program_starter.h"

#include "app/frmMain.h"
#include "dao/errors.h"
#include "registry/registry.h"
#include "support/gui/msgboxes.h"
#include "support/gui/windows.h"
#include "support/tempdir.h"
#include "ui/form.h"
#include "ui/twips.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace {

using namespace registry;

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");
const QByteArray kMsinfoKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
const QByteArray kLocationKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        hive = folder.file("system.reg");
        registry::setHiveFiles({hive});
        about::setProgramStarter([this](const QString& path) {
            started << path;
            return startSucceeds;
        });
    }
    void TearDown() override {
        about::setProgramStarter(nullptr);
        registry::setHiveFiles({});
    }

    void writeHive(const QByteArray& body) {
        QFile f(hive);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("Windows Registry Editor Version 5.00\n\n" + body);
    }

    // A "string" line for the hive.
    static QByteArray sz(const char* name, const QString& text) {
        QString escaped = text;
        escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        return QByteArray("\"") + name + "\"=\"" + escaped.toUtf8() + "\"\n";
    }

    // An executable file at relative path name in the test folder.
    QString makeTool(const QString& name, const QByteArray& script = "#!/bin/sh\nexit 0\n") {
        const QString path = folder.file(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(script);
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                         QFileDevice::ReadOther | QFileDevice::ExeOther);
        return path;
    }

    // A loaded About box, as the main window's menu gets it.
    frmAbout& box() { return ui::sharedInstance<frmAbout>(); }

    // Clicks "&System Info..." and returns the boxes shown meanwhile.
    QStringList clickSysInfo() {
        testsupport::MsgBoxRecorder boxes;
        box().cmdSysInfo->click();
        return boxes.prompts();
    }

    bool getKeyValue(const QString& key, const QString& value, QString& result) {
        HKEY root = HKEY_LOCAL_MACHINE;
        QString keyName = key;
        QString valueName = value;
        return box().GetKeyValue(root, keyName, valueName, result);
    }

    testsupport::TempFolder folder;
    QString hive;
    QStringList started;
    bool startSucceeds = true;
};

// Runs check while the box is up modally over owner, then leaves it to close
// (check must close it, or the test fails after a while).
void whileShownModally(ui::Form* owner, const std::function<void(frmAbout&)>& check) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        check(ui::sharedInstance<frmAbout>());
    });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [] {
        ADD_FAILURE() << "the About box did not close";
        ui::sharedInstance<frmAbout>().Unload();
    });
    failsafe.start(5000);
    ui::sharedInstance<frmAbout>().Show(ui::vbModal, owner);
    EXPECT_TRUE(ran);
}

}  // namespace

TEST_F(AboutTest, loadShowsTitleAndVersionWhateverTheDesignTexts) {
    auto* form = new frmAbout;
    form->lblTitle->setText(QStringLiteral("Something else"));
    form->lblVersion->setText(QStringLiteral("Version 9.9.9"));
    form->Load();
    EXPECT_EQ(form->lblVersion->text(), QStringLiteral("Version 2.0.0"));
    EXPECT_EQ(form->lblTitle->text(), QStringLiteral("Pacebook"));
    EXPECT_EQ(form->Caption(), QStringLiteral("About Pacebook"));
    form->Unload();
}

TEST_F(AboutTest, boxIsAFixedDialogLaidOutInTwips) {
    frmAbout& f = box();
    EXPECT_EQ(f.size(), QSize(ui::twipsToPixelsX(5676), ui::twipsToPixelsY(3708)));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    auto twips = [](double l, double t, double w, double h) {
        return QRect(ui::twipsToPixelsX(l), ui::twipsToPixelsY(t), ui::twipsToPixelsX(w), ui::twipsToPixelsY(h));
    };
    EXPECT_EQ(f.cmdOK->geometry(), twips(4245, 2640, 1260, 345));
    EXPECT_EQ(f.cmdSysInfo->geometry(), twips(4260, 3120, 1245, 345));
    EXPECT_EQ(f.lblDescription->geometry(), twips(1056, 1200, 3888, 1176));
    EXPECT_EQ(f.cmdOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(f.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    EXPECT_FALSE(f.picIcon->pixmap().isNull());
    EXPECT_FALSE(f.lblDescription->text().isEmpty());
    EXPECT_FALSE(f.lblDisclaimer->text().isEmpty());
    // The separator: grey above, white below and thicker.
    ASSERT_EQ(f.findChild<QFrame*>(QStringLiteral("Line1(1)")), f.Line1[1]);
    ASSERT_EQ(f.findChild<QFrame*>(QStringLiteral("Line1(0)")), f.Line1[0]);
    EXPECT_LT(f.Line1[1]->y(), f.Line1[0]->y());
    EXPECT_EQ(f.Line1[0]->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(f.Line1[0]->height(), 2);
    // Tab order: OK, System Info, the picture, the disclaimer, version,
    // title and description.
    QStringList chain;
    QWidget* w = f.cmdOK;
    do {
        if (!w->objectName().isEmpty()) chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != f.cmdOK);
    EXPECT_EQ(chain.mid(0, 7), QStringList({"cmdOK", "cmdSysInfo", "picIcon", "lblDisclaimer", "lblVersion",
                                            "lblTitle", "lblDescription"}));
}

TEST_F(AboutTest, enterEscapeAndOkEachCloseTheBoxOpenedWithTheFocusOnOk) {
    auto* owner = new ui::Form;
    owner->setGeometry(100, 100, 800, 600);
    owner->Show();
    const std::vector<std::function<void(frmAbout&)>> ways = {
        [](frmAbout& f) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); },
        [](frmAbout& f) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); },
        [](frmAbout& f) { QTest::mouseClick(f.cmdOK, Qt::LeftButton); },
        [](frmAbout& f) { f.close(); },  // the close box
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        whileShownModally(owner, [&](frmAbout& f) {
            EXPECT_TRUE(f.isVisible());
            EXPECT_TRUE(f.isModal());
            EXPECT_EQ(f.lblVersion->text(), QStringLiteral("Version 2.0.0"));
            EXPECT_TRUE(QTest::qWaitForWindowActive(&f));
            ASSERT_EQ(QApplication::focusWidget(), f.cmdOK) << "way " << i;
            EXPECT_LE((f.frameGeometry().center() - owner->frameGeometry().center()).manhattanLength(), 4);
            ways[i](f);
        });
        EXPECT_EQ(ui::Forms::Count(), 1) << "way " << i;  // only the owner is left
    }
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(AboutTest, enterOnSystemInfoPressesItAndKeepsTheBoxOpen) {
    writeHive(kMsinfoKey + sz("PATH", makeTool("tools/info")));
    whileShownModally(nullptr, [&](frmAbout& f) {
        f.cmdSysInfo->setFocus();
        QTest::keyClick(f.cmdSysInfo, Qt::Key_Return);
        EXPECT_EQ(started, QStringList{folder.file("tools/info")});
        EXPECT_TRUE(f.isVisible());
        QTest::keyClick(f.cmdSysInfo, Qt::Key_Escape);
    });
}

TEST_F(AboutTest, firstValueIsStartedDirectlyWithoutLookingAtTheSecond) {
    const QString tool = makeTool("bin/hardware info");
    makeTool("other/MSINFO32.EXE");
    writeHive(kMsinfoKey + sz("PATH", tool) + kLocationKey + sz("MSINFO", folder.file("other")));
    EXPECT_TRUE(clickSysInfo().isEmpty());
    EXPECT_EQ(started, QStringList{tool});
}

TEST_F(AboutTest, onlyTheSecondValueStartsTheToolInItsFolderMatchedWithoutRegardToCase) {
    const QString tool = makeTool("sysinfo/MsInfo32.exe");
    writeHive(kLocationKey + sz("MSINFO", folder.file("sysinfo")));
    EXPECT_TRUE(clickSysInfo().isEmpty());
    EXPECT_EQ(started, QStringList{tool});

    // A folder written with backslashes, as registered folders are.
    started.clear();
    QString backslashed = folder.file("sysinfo");
    backslashed.replace(u'/', u'\\');
    writeHive(kLocationKey + sz("MSINFO", backslashed));
    EXPECT_TRUE(clickSysInfo().isEmpty());
    EXPECT_EQ(started, QStringList{tool});
}

TEST_F(AboutTest, theMessageAloneWhenTheToolCannotBeFound) {
    QDir().mkpath(folder.file("empty"));
    QDir().mkpath(folder.file("holder/MSINFO32.EXE"));  // a folder of that name
    const std::vector<QByteArray> hives = {
        "",                                                         // neither key
        kLocationKey + sz("MSINFO", folder.file("empty")),          // folder without the tool
        kLocationKey + sz("MSINFO", folder.file("missing")),        // no such folder
        kLocationKey + sz("MSINFO", folder.file("holder")),         // the "tool" is a folder
        kMsinfoKey + sz("Other", "x") + kLocationKey + sz("Other", "y"),  // keys without the values
        kMsinfoKey + "\"PATH\"=hex(1):\n",                          // a value with no data at all
        kMsinfoKey + "\"PATH\"=dword:00000100\n",                   // a number is no path
        kMsinfoKey + sz("PATH", "/x") + "\"broken\n",               // a damaged hive
    };
    frmAbout* f = &box();
    for (size_t i = 0; i < hives.size(); ++i) {
        writeHive(hives[i]);
        testsupport::MsgBoxRecorder boxes;
        f->StartSysInfo();
        ASSERT_EQ(boxes.count(), 1) << "case " << i;
        EXPECT_EQ(boxes.last().prompt, kUnavailable);
        EXPECT_EQ(boxes.last().buttons, ui::vbOKOnly);
        EXPECT_EQ(boxes.last().title, QStringLiteral("Pacebook"));
    }
    EXPECT_TRUE(started.isEmpty());
    EXPECT_TRUE(f->isLoaded());  // the box stays
}

TEST_F(AboutTest, pathsThatAreNotPlainExecutablesAreNeverStarted) {
    QFile plain(folder.file("notes.txt"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QStringList paths = {
        "",
        folder.file("missing-tool"),
        folder.path(),                              // a folder
        folder.file("notes.txt"),                   // not executable
        "info",                                     // not a full path
        makeTool("semi;colon"),                     // shell characters, though the file exists
        makeTool("dollar$(id)"),
        makeTool("back`tick`"),
        makeTool("pipe|tool"),
        makeTool("new\nline"),
        "/bin/sh -c reboot",
    };
    for (const QString& path : paths) {
        writeHive(kMsinfoKey + sz("PATH", path));
        EXPECT_EQ(clickSysInfo(), QStringList{kUnavailable}) << path.toStdString();
    }
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(AboutTest, aFolderValueNeverLeadsToAToolThatIsNotAPlainExecutable) {
    // The tool found in the registered folder is held to the same rules.
    QDir().mkpath(folder.file("plain"));
    QFile notExecutable(folder.file("plain/MSINFO32.EXE"));
    ASSERT_TRUE(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.close();
    makeTool("semi;colon/MSINFO32.EXE");
    makeTool("dollar$(id)/msinfo32.exe");
    makeTool("relative/MSINFO32.EXE");
    QDir().mkpath(folder.file("linked"));
    QDir().mkpath(folder.file("target-folder"));
    ASSERT_TRUE(QFile::link(folder.file("target-folder"), folder.file("linked/MSINFO32.EXE")));
    QDir().mkpath(folder.file("dangling"));
    ASSERT_TRUE(QFile::link(folder.file("nowhere"), folder.file("dangling/MSINFO32.EXE")));
    const QStringList folders = {
        folder.file("plain"),        // not executable
        folder.file("semi;colon"),   // shell characters in the folder
        folder.file("dollar$(id)"),
        "relative",                  // not a full path
        folder.file("linked"),       // a link to a folder
        folder.file("dangling"),     // a link to nothing
    };
    for (const QString& location : folders) {
        writeHive(kLocationKey + sz("MSINFO", location));
        EXPECT_EQ(clickSysInfo(), QStringList{kUnavailable}) << location.toStdString();
    }
    // The same links given as the tool's own path.
    for (const QString& path : {folder.file("linked/MSINFO32.EXE"), folder.file("dangling/MSINFO32.EXE")}) {
        writeHive(kMsinfoKey + sz("PATH", path));
        EXPECT_EQ(clickSysInfo(), QStringList{kUnavailable}) << path.toStdString();
    }
    EXPECT_TRUE(started.isEmpty());
}

TEST_F(AboutTest, aToolThatFailsToStartShowsTheMessage) {
    writeHive(kMsinfoKey + sz("PATH", makeTool("tool")));
    startSucceeds = false;
    EXPECT_EQ(clickSysInfo(), QStringList{kUnavailable});
    EXPECT_EQ(started.size(), 1);
}

TEST_F(AboutTest, theToolIsStartedAsItsOwnProcess) {
    about::setProgramStarter(nullptr);
    const QString marker = folder.file("started");
    const QString tool = makeTool("tool", "#!/bin/sh\necho \"$#\" > '" + marker.toUtf8() + "'\n");
    writeHive(kMsinfoKey + sz("PATH", tool));
    EXPECT_TRUE(clickSysInfo().isEmpty());
    ASSERT_TRUE(testsupport::waitFor([&] { return QFile::exists(marker) && QFileInfo(marker).size() > 0; }, 5000));
    QFile f(marker);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().trimmed(), QByteArray("0"));  // no arguments
}

TEST_F(AboutTest, getKeyValueReadsStringsAndNumbersAsText) {
    writeHive(kMsinfoKey + sz("PATH", "/usr/bin/caf\u00e9") + "\"Count\"=dword:00000100\n" +
              "\"Bare\"=hex(1):61,00,62,00\n" + "\"Blob\"=hex:01,02\n");
    QString value = QStringLiteral("old");
    EXPECT_TRUE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value));
    EXPECT_EQ(value, QStringLiteral("/usr/bin/caf\u00e9"));  // no NUL at the end

    EXPECT_TRUE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Count", value));
    ASSERT_TRUE(value.startsWith(QStringLiteral("&h")));
    EXPECT_EQ(value, value.toUpper().replace(QStringLiteral("&H"), QStringLiteral("&h")));
    bool ok = false;
    EXPECT_EQ(value.mid(2).toUInt(&ok, 16), 256u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, QStringLiteral("&h000100"));  // the NUL rule takes the last byte

    EXPECT_TRUE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Bare", value));
    EXPECT_EQ(value, QStringLiteral("ab"));  // a string stored without its NUL keeps every character

    value = QStringLiteral("unchanged");
    EXPECT_TRUE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Blob", value));
    EXPECT_EQ(value, QStringLiteral("unchanged"));
}

TEST_F(AboutTest, getKeyValueFailsWithEmptyTextForLongOrMissingValues) {
    writeHive(kMsinfoKey + sz("Long", QString(1024, u'x')) + sz("Fits", QString(1023, u'y')) +
              "\"Empty\"=hex(1):\n");
    QString value = QStringLiteral("old");
    EXPECT_FALSE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Long", value));  // 1025 bytes
    EXPECT_TRUE(value.isEmpty());

    EXPECT_TRUE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Fits", value));  // 1024 bytes
    EXPECT_EQ(value, QString(1023, u'y'));

    value = QStringLiteral("old");
    EXPECT_FALSE(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Nothing", value));
    EXPECT_TRUE(value.isEmpty());
    value = QStringLiteral("old");
    EXPECT_FALSE(getKeyValue("SOFTWARE\\Nowhere", "PATH", value));
    EXPECT_TRUE(value.isEmpty());

    // No data at all: nothing to trim, an error for the caller.
    EXPECT_THROW(getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "Empty", value), dao::Error);
}

TEST_F(AboutTest, theMainWindowShowsTheBoxModallyOverItself) {
    auto* main = new frmMain;
    main->Show();
    QAction* item = main->findChild<QAction*>(QStringLiteral("mnuHelpAbout"));
    ASSERT_NE(item, nullptr);
    bool shown = false;
    QTimer::singleShot(0, [&] {
        frmAbout& f = ui::sharedInstance<frmAbout>();
        shown = f.isVisible() && f.isModal();
        EXPECT_EQ(f.windowHandle()->transientParent(), main->windowHandle());
        f.cmdOK->click();
    });
    item->trigger();  // returns once the box has closed
    EXPECT_TRUE(shown);
    EXPECT_EQ(ui::Forms::Count(), 1);
}

TEST_F(AboutTest, theToolIsFoundThroughAHiveTheUserCannotWrite) {
    writeHive(kMsinfoKey + sz("PATH", "/usr/bin/info-tool"));
    QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                             QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(hive, QFileDevice::ReadOwner | QFileDevice::ReadOther);
    box();
    // Root may write any file: look it up as an ordinary user then.
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        QString value;
        bool found = false;
        try {
            found = getKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value);
        } catch (...) {
        }
        _exit(found && value == QStringLiteral("/usr/bin/info-tool") ? 0 : 1);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
