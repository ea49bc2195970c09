// SPDX-License-Identifier: GPL-3.0-or-later
#include "forms/about/frmAbout.h"

#include "forms/about/launcher.h"

#include "dao/errors.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/twips.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <optional>

using namespace registry;

// The logo lives in this library's resources; register them once.
static void initAboutResources() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(about);
        return true;
    }();
    (void)registered;
}

namespace {

// Where the system-information tool is registered: first its full path...
const QString gREGKEYSYSINFO = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString gREGVALSYSINFO = QStringLiteral("PATH");
// ...else a folder that holds it.
const QString gREGKEYSYSINFOLOC = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString gREGVALSYSINFOLOC = QStringLiteral("MSINFO");
const QString gSYSINFOFILE = QStringLiteral("MSINFO32.EXE");

const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// Characters a shell would give a meaning to. The tool is never started
// through a shell, but a registered path holding any of them is refused all
// the same: it is not a plain path.
bool hasShellCharacters(const QString& path) {
    static const QString special = QStringLiteral("`$;&|<>(){}[]*?!~'\"#\\");
    for (QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || special.contains(c)) return true;
    }
    return false;
}

// A registered path on this file system: backslashes become '/'.
QString localPath(const QString& path) {
    QString p = path;
    p.replace(u'\\', u'/');
    return p;
}

// The entry of folder named like name without regard to case (an exact
// match first), or nullopt.
std::optional<QString> findNoCase(const QString& folder, const QString& name) {
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) return std::nullopt;
    if (QFileInfo::exists(dir.filePath(name))) return dir.filePath(name);
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    return std::nullopt;
}

// A path the tool may be started from: absolute, a plain path, naming an
// executable file.
bool isStartableProgram(const QString& path) {
    if (path.isEmpty() || !path.startsWith(u'/') || hasShellCharacters(path)) return false;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// Closes a registry key when it goes out of scope, also when an error
// passes through.
class KeyCloser {
public:
    explicit KeyCloser(HKEY& key) : key_(key) {}
    ~KeyCloser() { RegCloseKey(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY& key_;
};

}  // namespace

frmAbout::frmAbout(QWidget* parent) : ui::Form(parent) {
    initAboutResources();
    setObjectName(QStringLiteral("frmAbout"));
    setCaption(QStringLiteral("About Pacebook"));
    // A fixed dialog: a title and a close box, no minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setClientSizeTwips(5676, 3708);
    setFixedSize(size());
    createControls();

    ui::onEvent(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    ui::onEvent(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::createControls() {
    // Created in focus order: OK, System Info, then the picture and the
    // labels (which take no focus themselves).
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    ui::placeTwips(cmdOK, 4245, 2640, 1260, 345);
    // Both the default (Enter) and the cancel (Esc) button: see keyPressEvent.
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    ui::placeTwips(cmdSysInfo, 4260, 3120, 1245, 345);
    cmdSysInfo->setAutoDefault(true);  // Enter on it presses it

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    ui::placeTwips(picIcon, 240, 240, 624, 576);
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setFocusPolicy(Qt::NoFocus);
    // Fitted to the box; logo@2x.png keeps it sharp at twice the scale.
    picIcon->setPixmap(QIcon(QStringLiteral(":/about/logo.png")).pixmap(picIcon->size()));

    lblDisclaimer = new QLabel(
        QStringLiteral("New versions are announced where you found this copy of Pacebook. Look there "
                       "from time to time, or write to us and we will tell you."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    ui::placeTwips(lblDisclaimer, 252, 2760, 3876, 828);
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblVersion = new QLabel(QStringLiteral("Version"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    ui::placeTwips(lblVersion, 1050, 780, 3885, 225);
    lblVersion->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblTitle = new QLabel(QStringLiteral("Application Title"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    ui::placeTwips(lblTitle, 1050, 240, 3885, 480);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblDescription = new QLabel(
        QStringLiteral("Pacebook is free of charge: use it, copy it and give it to your running friends. "
                       "Write to us for news of new releases, and send us your suggestions and "
                       "complaints; every letter is read."),
        this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    ui::placeTwips(lblDescription, 1056, 1200, 3888, 1176);
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The etched separator: a grey line with a white one just below it.
    // Line1(1): grey, from (225, 2430) to (5450, 2430), one pixel.
    // Line1(0): white, from (240, 2520) to (5450, 2520), two pixels.
    const struct {
        int index;
        double x1, x2, y;
        int thickness;
        QColor colour;
    } lines[] = {{1, 225, 5450, 2430, 1, QColor(128, 128, 128)}, {0, 240, 5450, 2520, 2, QColor(255, 255, 255)}};
    for (const auto& l : lines) {
        auto* line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1(%1)").arg(l.index));
        line->setFrameShape(QFrame::NoFrame);
        const int left = ui::twipsToPixelsX(l.x1);
        line->setGeometry(left, ui::twipsToPixelsY(l.y), ui::twipsToPixelsX(l.x2) - left, l.thickness);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, l.colour);
        line->setPalette(palette);
        line->setAutoFillBackground(true);
        Line1[l.index] = line;
    }
}

void frmAbout::Form_Load() {
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(ui::App::Major).arg(ui::App::Minor).arg(ui::App::Revision));
    lblTitle->setText(ui::App::Title());
}

void frmAbout::showEvent(QShowEvent* e) {
    ui::Form::showEvent(e);
    centreOnOwner();
    cmdOK->setFocus(Qt::OtherFocusReason);
}

// Centres the box on the window that owns it (the window it was shown over),
// keeping it on that window's screen.
void frmAbout::centreOnOwner() {
    QWindow* owner = windowHandle() ? windowHandle()->transientParent() : nullptr;
    QRect area;
    QScreen* screen = nullptr;
    if (owner) {
        area = owner->frameGeometry();
        screen = owner->screen();
    } else {
        screen = QGuiApplication::primaryScreen();
        if (screen) area = screen->availableGeometry();
    }
    if (area.isEmpty()) return;
    const QSize frame = frameGeometry().size();
    QPoint topLeft = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
    if (screen) {
        const QRect avail = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), avail.left(), std::max(avail.left(), avail.right() - frame.width() + 1)));
        topLeft.setY(std::clamp(topLeft.y(), avail.top(), std::max(avail.top(), avail.bottom() - frame.height() + 1)));
    }
    move(topLeft);
}

void frmAbout::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape:
        cmdOK->click();  // the cancel button
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Reaches the window only when no button has the focus.
        cmdOK->click();  // the default button
        return;
    default:
        ui::Form::keyPressEvent(e);
    }
}

void frmAbout::cmdOK_Click() { Unload(); }

void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }

void frmAbout::StartSysInfo() {
    try {
        HKEY root = HKEY_LOCAL_MACHINE;
        QString key = gREGKEYSYSINFO;
        QString value = gREGVALSYSINFO;
        QString SysInfoPath;
        if (!GetKeyValue(root, key, value, SysInfoPath)) {
            key = gREGKEYSYSINFOLOC;
            value = gREGVALSYSINFOLOC;
            if (!GetKeyValue(root, key, value, SysInfoPath)) throw dao::Error(dao::err::FileNotFoundRuntime);
            // A folder that must hold the tool.
            const auto tool = findNoCase(localPath(SysInfoPath), gSYSINFOFILE);
            if (!tool) throw dao::Error(dao::err::FileNotFoundRuntime);
            SysInfoPath = *tool;
        }
        const QString program = localPath(SysInfoPath);
        if (!isStartableProgram(program)) throw dao::Error(dao::err::FileNotFoundRuntime);
        if (!about::startProgram(program)) throw dao::Error(dao::err::FileNotFoundRuntime);
        return;
    } catch (const std::exception&) {
        // Every failure ends in the one message below.
    }
    ui::MsgBox(kUnavailable, ui::vbOKOnly, ui::App::Title());
}

bool frmAbout::GetKeyValue(HKEY& KeyRoot, QString& KeyName, QString& SubKeyRef, QString& KeyVal) {
    HKEY hKey = 0;
    KeyCloser closer(hKey);  // closed in every case, also after a failed open

    // Reading is all that is needed; asking for more is refused to an
    // ordinary user.
    if (RegOpenKeyExA(KeyRoot, KeyName.toLatin1().constData(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    char tmpVal[1024] = {};
    DWORD KeyValSize = sizeof tmpVal;
    DWORD KeyValType = 0;
    if (RegQueryValueExA(hKey, SubKeyRef.toLatin1().constData(), nullptr, &KeyValType,
                         reinterpret_cast<BYTE*>(tmpVal), &KeyValSize) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    // Trim to the data: drop its last character when that is a NUL. A value
    // with no data has no last character to look at.
    if (KeyValSize == 0) throw dao::Error(dao::err::InvalidProcedureCall);
    const qsizetype length = tmpVal[KeyValSize - 1] == '\0' ? KeyValSize - 1 : KeyValSize;
    const QByteArray trimmed(tmpVal, length);

    switch (KeyValType) {
    case REG_SZ:
        KeyVal = QString::fromLatin1(trimmed);
        break;
    case REG_DWORD: {
        // From the last byte to the first: most significant first.
        QString hex = QStringLiteral("&h");
        for (qsizetype i = trimmed.size() - 1; i >= 0; --i)
            hex += QStringLiteral("%1").arg(uchar(trimmed[i]), 2, 16, QLatin1Char('0')).toUpper();
        KeyVal = hex;
        break;
    }
    default:
        break;  // other types leave KeyVal as it was
    }
    return true;
}
