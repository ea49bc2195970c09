// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmQuerys.h"

#include "ui/statementprogress.h"

#include "app/Module1.h"
#include "controls/datacontrol.h"
#include "controls/textbox.h"
#include "dao/dao.h"
#include "dao/sqlguard.h"
#include "forms/grid/frmDataGrid.h"
#include "logstore/logfile.h"
#include "settings/settings.h"
#include "ui/app.h"
#include "ui/guard.h"
#include "ui/msgbox.h"
#include "ui/screen.h"
#include "ui/twips.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <optional>

// The icon lives in this library's resource file; a static library has to
// register it by hand. Outside any namespace, as the macro requires.
static void initQueryResources() { Q_INIT_RESOURCE(frmQuerys); }

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kLeftKey = QStringLiteral("QueryLeft");
const QString kTopKey = QStringLiteral("QueryTop");

// Smallest outer size of the window, and the text box's fixed size.
constexpr double kMinWidth = 5220;
constexpr double kMinHeight = 2784;
constexpr double kStatementWidth = 4931;
constexpr double kStatementHeight = 600;

// Length of the statement's beginning used as a grid window's caption.
constexpr int kCaptionLength = 32;

// A stored position; a value that is not a finite number, or lies beyond
// any screen there is, counts as not stored.
double storedPosition(const QString& key) {
    constexpr double kFar = 1e8;  // twips: some 70 km of screen
    return settings::GetNumber(ui::App::Title(), kSection, key, 0.0, -kFar, kFar);
}

// Runs a step of the resize handling; a failing step is skipped.
template <class F>
void skipOnFailure(F&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

// The command that makes the missing log at path, as the entry form gives
// it: the file under the log's own spelling of its name.
QString newLogCommandFor(const QString& path) {
    const QFileInfo file(dao::resolveFileName(path));
    const QString own = logstore::fileName().mid(1);
    const QString name = file.fileName().compare(own, Qt::CaseInsensitive) == 0 ? own : file.fileName();
    return logstore::newLogCommand(ui::App::Path(), file.dir().filePath(name));
}

}  // namespace

frmQuerys::frmQuerys(QWidget* parent) : ui::Form(parent) {
    initQueryResources();
    setObjectName(QStringLiteral("frmQuerys"));
    setCaption(QStringLiteral("Querys"));
    setWindowIcon(QIcon(QStringLiteral(":/forms/query/frmQuerys.png")));
    createControls();
    connectEvents();
}

frmQuerys::~frmQuerys() = default;

QString frmQuerys::defaultStatement() { return QStringLiteral("select * from runlog"); }

void frmQuerys::createControls() {
    setClientSizeTwips(6636, 4428);

    auto* statement = new controls::MultiLineTextBox(this);
    statement->setMaxBytes(dao::guard::kMaxStatementBytes);  // what a statement may hold: more is refused at once
    txtSQLStatement = statement;
    txtSQLStatement->setObjectName(QStringLiteral("txtSQLStatement"));
    txtSQLStatement->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtSQLStatement->setTabChangesFocus(true);
    txtSQLStatement->setAccessibleName(tr("SQL statement"));
    {
        QPalette pal = txtSQLStatement->palette();
        pal.setColor(QPalette::Base, Qt::white);
        txtSQLStatement->setPalette(pal);
    }
    ui::placeTwips(txtSQLStatement, 0, 120, kStatementWidth, kStatementHeight);

    cmdExecuteSQL = new QPushButton(tr("&Execute"), this);
    cmdExecuteSQL->setObjectName(QStringLiteral("cmdExecuteSQL"));
    cmdExecuteSQL->setEnabled(false);
    ui::placeTwips(cmdExecuteSQL, 5160, 120, 1443, 370);

    cmdReturn = new QPushButton(tr("Return"), this);
    cmdReturn->setObjectName(QStringLiteral("cmdReturn"));
    ui::placeTwips(cmdReturn, 5160, 600, 1452, 372);

    Label1 = new QLabel(tr("To view the log click on \"Execute\""), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    ui::placeTwips(Label1, 120, 840, 4692, 252);

    Frame1 = new QGroupBox(tr("I'll do my own SQL queries"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ui::placeTwips(Frame1, 120, 1680, 5292, 1932);

    lblSQL = new QLabel(tr("IF(!) you know SQL, you may sort through the database table \"runlog\" by "
                           "entering a valid SQL query in the text box above. "
                           "(eg. select * from runlog where time > 45)"),
                        Frame1);
    lblSQL->setObjectName(QStringLiteral("lblSQL"));
    lblSQL->setTextFormat(Qt::PlainText);
    lblSQL->setWordWrap(true);
    lblSQL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::placeTwips(lblSQL, 120, 360, 4920, 732);

    optdefsql = new QRadioButton(tr("Restore the default"), Frame1);
    optdefsql->setObjectName(QStringLiteral("optdefsql"));
    ui::placeTwips(optdefsql, 120, 1200, 2052, 372);

    optmysql = new QRadioButton(tr("I'll enter my own SQL query"), Frame1);
    optmysql->setObjectName(QStringLiteral("optmysql"));
    optmysql->setChecked(true);  // as designed; Form_Load selects the default
    ui::placeTwips(optmysql, 2760, 1200, 1932, 492);

    fitCaptions();

    // Tab order as designed: Execute, statement, the two options, Return.
    setTabOrder(cmdExecuteSQL, txtSQLStatement);
    setTabOrder(txtSQLStatement, optdefsql);
    setTabOrder(optdefsql, optmysql);
    setTabOrder(optmysql, cmdReturn);
}

// The design's sizes suit a narrow 8-point dialog font. With a wider font,
// the help text grows down to the options, and the second option widens
// within the frame and wraps onto its designed second line, rather than
// cutting their words off.
void frmQuerys::fitCaptions() {
    const int helpRoom = optdefsql->y() - lblSQL->y();
    const int helpNeeds = lblSQL->heightForWidth(lblSQL->width());
    if (helpNeeds > lblSQL->height()) lblSQL->resize(lblSQL->width(), std::min(helpNeeds, helpRoom));

    const int optionRoom = Frame1->width() - optmysql->x() - ui::twipsToPixelsX(120);
    if (optmysql->sizeHint().width() > optmysql->width())
        optmysql->resize(std::min(optmysql->sizeHint().width(), optionRoom), optmysql->height());
    if (optmysql->sizeHint().width() > optmysql->width()) {
        const QString caption = optmysql->text();
        const int textRoom = optmysql->width() - (optmysql->sizeHint().width() -
                                                  optmysql->fontMetrics().horizontalAdvance(caption));
        for (qsizetype blank = caption.lastIndexOf(u' '); blank > 0; blank = caption.lastIndexOf(u' ', blank - 1)) {
            if (optmysql->fontMetrics().horizontalAdvance(caption.left(blank)) <= textRoom) {
                optmysql->setText(caption.left(blank) + u'\n' + caption.mid(blank + 1));
                break;
            }
        }
    }
}

void frmQuerys::connectEvents() {
    ui::onEvent(cmdExecuteSQL, &QPushButton::clicked, this, &frmQuerys::cmdExecuteSQL_Click);
    ui::onEvent(cmdReturn, &QPushButton::clicked, this, &frmQuerys::cmdReturn_Click);
    ui::onEvent(txtSQLStatement, &QPlainTextEdit::textChanged, this, &frmQuerys::txtSQLStatement_Change);
    // An option button's Click runs when it becomes selected.
    connect(optdefsql, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) ui::guard([this] { optdefsql_Click(); });
    });
    connect(optmysql, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) ui::guard([this] { optmysql_Click(); });
    });
}

void frmQuerys::Form_Load() {
    setLeft(storedPosition(kLeftKey));
    setTop(storedPosition(kTopKey));
    optdefsql->setChecked(true);
    optmysql->setChecked(false);
    txtSQLStatement->setPlainText(defaultStatement());
}

void frmQuerys::Form_Unload(int& /*Cancel*/) {
    if (WindowState() == ui::vbMinimized) return;
    settings::SaveSetting(ui::App::Title(), kSection, kLeftKey, QString::number(qRound64(Left())));
    settings::SaveSetting(ui::App::Title(), kSection, kTopKey, QString::number(qRound64(Top())));
}

void frmQuerys::Form_Resize() {
    if (WindowState() == ui::vbMinimized) return;
    skipOnFailure([this] {
        if (Width() < kMinWidth) setWidth(kMinWidth);
    });
    skipOnFailure([this] {
        if (Height() < kMinHeight) setHeight(kMinHeight);
    });
    skipOnFailure([this] {
        txtSQLStatement->resize(ui::twipsToPixelsX(kStatementWidth), ui::twipsToPixelsY(kStatementHeight));
    });
}

void frmQuerys::cmdReturn_Click() { Unload(); }

void frmQuerys::optdefsql_Click() {
    txtSQLStatement->setPlainText(defaultStatement());
    txtSQLStatement->setEnabled(false);
}

void frmQuerys::optmysql_Click() {
    txtSQLStatement->setEnabled(true);
    txtSQLStatement->clear();
}

void frmQuerys::txtSQLStatement_Change() {
    cmdExecuteSQL->setEnabled(!txtSQLStatement->toPlainText().isEmpty());
}

void frmQuerys::cmdExecuteSQL_Click() {
    const QString sSQL = txtSQLStatement->toPlainText();
    if (sSQL.isEmpty()) return;

    // A database of this run's own, and the statement as a temporary query.
    // The engine refuses here a file it cannot open and a statement it cannot
    // parse (or one with a second statement after it); nothing has run yet,
    // and the window keeps the statement as typed.
    dao::DatabasePtr db;
    dao::QueryDefPtr qdf;
    try {
        // What the user types runs on a guarded connection (dao/sqlguard.h).
        dao::checkStatementText(sSQL);
        {
            // The first open of a large log in a run checks its pages.
            ui::BusyPointer busy;
            db = dao::DBEngine().OpenDatabase(Module1::sDatabasePath);
        }
        dao::guardConnection(*db);
        qdf = db->CreateQueryDef(QString(), sSQL);
    } catch (const dao::Error& e) {
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        QString text = QStringLiteral("Error:%1 %2").arg(e.Number()).arg(e.Description());
        if (!db && (e.Number() == dao::err::FileNotFound || e.Number() == dao::err::FileNotFoundRuntime))
            text += QStringLiteral("\n\n") + tr("To start a new, empty log there, run:\n\n%1")
                                                 .arg(newLogCommandFor(Module1::sDatabasePath));
        ui::MsgBox(text, ui::vbOKOnly);
        return;
    }

    ui::Screen::setMousePointer(ui::Screen::vbHourglass);
    std::optional<ui::StatementProgress> progress;
    QPointer<frmDataGrid> grid;  // until it is shown
    try {
        dao::RecordsetPtr rs;
        // Everything the run does from here, a wait for another program's
        // lock included, shows the "still running" window after a second.
        progress.emplace(*db, this);
        // Whether the statement changes the log is the engine's to say, not
        // its text's: one that does runs once, as an action (after the
        // backup), and the rows it returns are shown as they were returned;
        // rows are opened only for a statement that reads.
        switch (qdf->Kind()) {
        case dao::StatementKind::Action: qdf->Execute(); break;
        case dao::StatementKind::ActionWithRows: rs = qdf->ExecuteReturning(); break;
        case dao::StatementKind::Rows: rs = qdf->OpenRecordset(); break;
        }
        progress.reset();
        // A transaction the statement left open would hold its locks for as
        // long as the rows are shown; nothing of it is kept.
        if (dao::rollbackOpenTransaction(*db))
            throw dao::Error(dao::err::Refused,
                             QStringLiteral("The statement left a transaction open. It was rolled back: "
                                            "nothing it changed was kept."));

        if (rs) {
            auto* g = new frmDataGrid();
            grid = g;
            g->Load();
            if (!g->isLoaded()) {
                // The grid window could not open and has said so.
                g->deleteLater();
                ui::Screen::setMousePointer(ui::Screen::vbDefault);
                return;
            }
            g->Data1->setRecordset(rs);
            g->setCaption(sSQL.left(kCaptionLength) + QStringLiteral("..."));
            g->Show();
        }
    } catch (const dao::Error& e) {
        const bool cancelled = progress && progress->cancelled();
        progress.reset();
        // A grid window that failed before it was shown is not left loaded
        // and invisible; one that was shown stays open.
        if (grid && grid->isLoaded() && !grid->isVisible()) grid->Unload();
        ui::Screen::setMousePointer(ui::Screen::vbDefault);
        // A run the user stopped: the engine has undone whatever the
        // statement had begun to change; say so, and leave the flag alone.
        if (cancelled || e.Number() == dao::err::Cancelled) {
            ui::MsgBox(QObject::tr("The statement was stopped. Nothing in the log was changed."),
                       ui::vbOKOnly | ui::vbInformation);
            return;
        }
        ui::MsgBox(e.Description(), ui::vbOKOnly);
        Module1::bGridFromEntry = False;
        return;
    }
    ui::Screen::setMousePointer(ui::Screen::vbDefault);
}
