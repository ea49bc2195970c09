// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/datacontrol.h"

#include "ui/screen.h"

#include "ui/msgbox.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QToolButton>

namespace controls {

namespace {

enum class Kind { LineEdit, PlainTextEdit, TextEdit, ComboBox, Calendar };

// How a field value reads in a text control. Dates (kept as ISO 8601 text
// by the data layer) show as YYYY-MM-DD.
QString displayText(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return QString();
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return value.toDateTime().date().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

int actionFor(dao::LeaveReason reason) {
    switch (reason) {
    case dao::LeaveReason::AddNew: return vbDataActionAddNew;
    case dao::LeaveReason::Delete: return vbDataActionDelete;
    case dao::LeaveReason::Close: return vbDataActionClose;
    case dao::LeaveReason::Requery: return vbDataActionClose;
    case dao::LeaveReason::Move: break;
    }
    // A move made by the program through the record set.
    return vbDataActionBookmark;
}

int openType(int recordsetType) {
    switch (recordsetType) {
    case vbRSTypeTable: return dao::dbOpenTable;
    case vbRSTypeSnapShot: return dao::dbOpenSnapshot;
    default: return dao::dbOpenDynaset;
    }
}

// Runs the body with a flag raised, lowering it again however it ends.
struct FlagScope {
    explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = old_; }
    bool& flag_;
    bool old_;
};

}  // namespace

struct DataControl::Binding {
    QPointer<QWidget> control;
    QString field;
    Kind kind = Kind::LineEdit;
    QString shown;  // the control's value as the current row was shown

    // The control's value as text (a calendar's date as YYYY-MM-DD).
    QString current() const {
        switch (kind) {
        case Kind::LineEdit: return static_cast<QLineEdit*>(control.data())->text();
        case Kind::PlainTextEdit: return static_cast<QPlainTextEdit*>(control.data())->toPlainText();
        case Kind::TextEdit: return static_cast<QTextEdit*>(control.data())->toPlainText();
        case Kind::ComboBox: return static_cast<QComboBox*>(control.data())->currentText();
        case Kind::Calendar:
            return static_cast<QCalendarWidget*>(control.data())->selectedDate().toString(Qt::ISODate);
        }
        return QString();
    }

    void show(const QVariant& value) {
        const QString text = displayText(value);
        switch (kind) {
        case Kind::LineEdit: static_cast<QLineEdit*>(control.data())->setText(text); break;
        case Kind::PlainTextEdit: static_cast<QPlainTextEdit*>(control.data())->setPlainText(text); break;
        case Kind::TextEdit: static_cast<QTextEdit*>(control.data())->setPlainText(text); break;
        case Kind::ComboBox: static_cast<QComboBox*>(control.data())->setEditText(text); break;
        case Kind::Calendar: {
            // A row without a date shows today; that is not a change.
            QDate date = QDate::fromString(text.left(10), Qt::ISODate);
            if (!date.isValid()) date = QDate::currentDate();
            static_cast<QCalendarWidget*>(control.data())->setSelectedDate(date);
            break;
        }
        }
        // What the control holds now (it may have trimmed the text).
        shown = current();
    }

    bool changed() const { return control && current() != shown; }

    // The value to store: empty text is Null.
    QVariant value() const {
        const QString text = current();
        if (text.isEmpty()) return QVariant();
        return text;
    }
};

DataControl::DataControl(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Each button is in the tab order (a click leaves the focus where it
    // was) and has a key of the window, named in its tooltip. The keys are
    // the window's only while the bar is shown.
    auto makeButton = [this, layout](QToolButton*& button, const char* name, const QString& text,
                                     const QString& tip, const QKeySequence& key, int action) {
        button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(text);
        button->setShortcut(key);
        button->setToolTip(tr("%1 (%2)").arg(tip, key.toString(QKeySequence::NativeText)));
        button->setAccessibleName(tip);
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        layout->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, action] { navigate(action); });
    };
    makeButton(first_, "first", QStringLiteral("|\u25C0"), tr("First"), QKeySequence(Qt::CTRL | Qt::Key_Home),
               vbDataActionMoveFirst);
    makeButton(previous_, "previous", QStringLiteral("\u25C0"), tr("Previous"),
               QKeySequence(Qt::CTRL | Qt::Key_PageUp), vbDataActionMovePrevious);
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("caption"));
    caption_->setFrameShape(QFrame::Panel);
    caption_->setFrameShadow(QFrame::Sunken);
    caption_->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    caption_->setIndent(4);
    caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    layout->addWidget(caption_, 1);
    makeButton(next_, "next", QStringLiteral("\u25B6"), tr("Next"), QKeySequence(Qt::CTRL | Qt::Key_PageDown),
               vbDataActionMoveNext);
    makeButton(last_, "last", QStringLiteral("\u25B6|"), tr("Last"), QKeySequence(Qt::CTRL | Qt::Key_End),
               vbDataActionMoveLast);
    for (QToolButton* b : {first_, previous_, next_, last_}) b->setMinimumWidth(24);
}

DataControl::~DataControl() {
    // No events here: the window that handles them may be half destroyed.
    if (recordset_) recordset_->removeObserver(this);
    for (Binding* b : bindings_) delete b;
}

void DataControl::setRecordsetType(int type) {
    if (type != vbRSTypeTable && type != vbRSTypeDynaset && type != vbRSTypeSnapShot)
        throw dao::Error(dao::err::InvalidPropertyValue);
    recordsetType_ = type;
}

QList<QWidget*> DataControl::tabStops() const { return {first_, previous_, next_, last_}; }

QString DataControl::Caption() const { return caption_->text(); }
void DataControl::setCaption(const QString& caption) { caption_->setText(caption); }

void DataControl::attach(dao::RecordsetPtr recordset) {
    recordset_ = std::move(recordset);
    rowDeleted_ = false;
    if (recordset_) recordset_->addObserver(this);
}

void DataControl::detach() {
    if (recordset_) recordset_->removeObserver(this);
    recordset_.reset();
    rowDeleted_ = false;
}

void DataControl::setRecordset(dao::RecordsetPtr recordset) {
    if (recordset == recordset_) return;
    if (recordset_ && recordset_->isOpen()) leaveRow(*recordset_, vbDataActionClose);
    detach();
    attach(std::move(recordset));
    if (recordset_ && recordset_->isOpen()) {
        ++moving_;
        try {
            if (recordset_->RecordCount() > 0 && recordset_->AbsolutePosition() != 0)
                recordset_->MoveFirst();
        } catch (const dao::Error& e) {
            --moving_;
            movedDuringNav_ = false;
            emit recordsetReplaced();
            throw;
        }
        --moving_;
        movedDuringNav_ = false;
    }
    showCurrentRow();
    emit recordsetReplaced();
    emit Reposition();
}

void DataControl::Refresh() {
    // Changed values of the row being left are written before the log is
    // read afresh, so the new set sees them.
    if (recordset_ && recordset_->isOpen() && !leaveRow(*recordset_, vbDataActionClose)) return;
    // Open the new set before letting go of the old one: when the file
    // cannot be opened, the old set stays as it was.
    // Opening a large log (its row ids) takes a moment: show the hourglass.
    dao::DatabasePtr database;
    dao::RecordsetPtr recordset;
    {
        ui::BusyPointer busy;
        database = dao::DBEngine().OpenDatabase(dao::resolveFileName(databaseName_));
        if (!recordSource_.isEmpty()) recordset = database->OpenRecordset(recordSource_, openType(recordsetType_));
    }
    detach();
    database_ = std::move(database);
    attach(std::move(recordset));
    showCurrentRow();
    if (recordset_) emit recordsetReplaced();
    emit Reposition();
}

void DataControl::Close() {
    if (recordset_ && recordset_->isOpen()) leaveRow(*recordset_, vbDataActionClose);
    detach();
}

void DataControl::UpdateRecord() {
    if (!recordset_ || !recordset_->isOpen()) return;
    const bool adding = recordset_->EditMode() == dao::dbEditAdd;
    if (!DataChanged() && !adding) return;
    if (DataChanged()) writeBoundValues(*recordset_);
    if (adding) {
        // The new row is stored; show the row the set is on now.
        showCurrentRow();
        emit Reposition();
    } else {
        markUnchanged();
    }
}

void DataControl::UpdateControls() { showCurrentRow(); }

bool DataControl::SaveCurrentRow() {
    if (!recordset_ || !recordset_->isOpen() || rowDeleted_ || recordset_->EditMode() == dao::dbEditAdd ||
        !DataChanged())
        return true;
    return saveRow(*recordset_);
}

void DataControl::bind(QWidget* control, const QString& dataField) {
    auto* b = new Binding;
    b->control = control;
    b->field = dataField;
    if (qobject_cast<QLineEdit*>(control)) b->kind = Kind::LineEdit;
    else if (qobject_cast<QPlainTextEdit*>(control)) b->kind = Kind::PlainTextEdit;
    else if (qobject_cast<QTextEdit*>(control)) b->kind = Kind::TextEdit;
    else if (qobject_cast<QComboBox*>(control)) b->kind = Kind::ComboBox;
    else if (qobject_cast<QCalendarWidget*>(control)) b->kind = Kind::Calendar;
    else {
        delete b;
        throw dao::Error(dao::err::InvalidPropertyValue);
    }
    bindings_.push_back(b);
    b->shown = b->current();
}

bool DataControl::DataChanged() const {
    for (const Binding* b : bindings_)
        if (b->changed()) return true;
    return false;
}

void DataControl::markUnchanged() {
    for (Binding* b : bindings_)
        if (b->control) b->shown = b->current();
}

void DataControl::showCurrentRow() {
    dao::Recordset* rs = recordset_ && recordset_->isOpen() ? recordset_.get() : nullptr;
    bool hasRow = false;
    if (rs) {
        try {
            hasRow = rs->EditMode() == dao::dbEditAdd || (!rs->BOF() && !rs->EOF_() && !rowDeleted_);
        } catch (const dao::Error&) {
            hasRow = false;
        }
    }
    for (Binding* b : bindings_) {
        if (!b->control) continue;
        QVariant value;
        if (hasRow) {
            try {
                value = rs->Fields(b->field).Value();
            } catch (const dao::Error&) {
                value = QVariant();
            }
        }
        b->show(value);
    }
    readValues_.clear();
    if (hasRow) rememberRow(*rs);
}

void DataControl::rememberRow(dao::Recordset& rs) {
    readValues_.clear();
    try {
        if (rs.EditMode() != dao::dbEditNone) return;
        for (int i = 0; i < rs.Fields().Count(); ++i) readValues_.push_back(rs.Fields(i).Value());
    } catch (const dao::Error&) {
        readValues_.clear();  // compared with the row as it is at the write
    }
}

void DataControl::keepTypedOverStored(dao::Recordset& rs) {
    for (Binding* b : bindings_) {
        if (!b->control) continue;
        QVariant value;
        try {
            value = rs.Fields(b->field).Value();
        } catch (const dao::Error&) {
        }
        if (!b->changed()) {
            b->show(value);
            continue;
        }
        const QString typed = b->current();
        b->show(value);
        const QString stored = b->shown;
        b->show(typed);
        b->shown = stored;
    }
    rememberRow(rs);
}

void DataControl::writeBoundValues(dao::Recordset& rs) {
    FlagScope scope(saving_);
    const bool adding = rs.EditMode() == dao::dbEditAdd;
    if (!adding && rs.EditMode() == dao::dbEditNone) rs.Edit(readValues_);
    try {
        for (const Binding* b : bindings_)
            if (b->changed()) rs.Fields(b->field).setValue(b->value());
        rs.Update();
    } catch (...) {
        // A stored row goes back to what it holds; a new row keeps its buffer.
        if (!adding && rs.EditMode() == dao::dbEditInProgress) {
            try { rs.CancelUpdate(); } catch (...) {}
        }
        throw;
    }
    markUnchanged();
    if (!adding) rememberRow(rs);
}

void DataControl::reportError(const dao::Error& error) {
    errorDescription_ = error.Description();
    int response = 1;
    emit Error(error.Number(), response);
    if (response != 0) ui::MsgBox(error.Description());
}

bool DataControl::leaveRow(dao::Recordset& rs, int action) {
    int save = DataChanged() ? -1 : 0;
    if (validated_) {
        // Raised by the navigation bar already; its answer holds for the
        // whole move (a step back from BOF or EOF included).
        save = navSave_;
    } else {
        emit Validate(action, save);
    }
    if (rowDeleted_ || action == vbDataActionDelete) {
        // Nothing to write to a row that is going away.
        markUnchanged();
        return true;
    }
    if (save != 0 && DataChanged()) return saveRow(rs);
    markUnchanged();
    return true;
}

bool DataControl::saveRow(dao::Recordset& rs) {
    const bool stored = rs.EditMode() != dao::dbEditAdd;
    try {
        writeBoundValues(rs);
    } catch (const dao::Error& e) {
        if (stored && e.Number() == dao::err::WriteConflict) {
            // Not lost: shown over the stored row, to be saved again.
            keepTypedOverStored(rs);
            reportError(e);
            return false;
        }
        markUnchanged();
        reportError(e);
    }
    return true;
}

void DataControl::recordsetAboutToLeaveRow(dao::Recordset& rs, dao::LeaveReason reason) {
    if (&rs != recordset_.get() || saving_) return;
    leaveRow(rs, actionFor(reason));
    if (reason == dao::LeaveReason::Delete) rowDeleted_ = true;
}

void DataControl::recordsetMoved(dao::Recordset& rs) {
    if (&rs != recordset_.get() || saving_) return;
    rowDeleted_ = false;
    if (moving_ > 0) {
        movedDuringNav_ = true;
        return;
    }
    showCurrentRow();
    emit Reposition();
}

void DataControl::recordsetRowsChanged(dao::Recordset& rs) {
    // Rows rewritten behind the current one (a requery, another view of
    // the set): show them again unless the user is editing.
    if (&rs != recordset_.get() || saving_ || moving_ > 0 || DataChanged()) return;
    showCurrentRow();
}

void DataControl::navigate(int action) {
    if (!recordset_ || !recordset_->isOpen()) return;
    dao::Recordset& rs = *recordset_;
    int save = DataChanged() ? -1 : 0;
    emit Validate(action, save);
    if (action == vbDataActionCancel) return;
    // A stored row whose changes could not be written stays current.
    if (save != 0 && !SaveCurrentRow()) {
        emit Reposition();
        return;
    }
    // The move below raises no second Validate.
    validated_ = true;
    navSave_ = save;
    ++moving_;
    movedDuringNav_ = false;
    try {
        const long long count = rs.RecordCount();
        if (count == 0) {
            // Nothing to move to; a new row being added is dropped.
            leaveRow(rs, action);
            if (rs.EditMode() == dao::dbEditAdd) rs.CancelUpdate();
            movedDuringNav_ = true;
        } else {
            switch (action) {
            case vbDataActionMoveFirst: rs.MoveFirst(); break;
            case vbDataActionMoveLast: rs.MoveLast(); break;
            case vbDataActionMovePrevious:
                rs.MovePrevious();
                if (rs.BOF()) rs.MoveFirst();
                break;
            case vbDataActionMoveNext:
                rs.MoveNext();
                if (rs.EOF_()) rs.MoveLast();
                break;
            default: break;
            }
        }
    } catch (const dao::Error& e) {
        validated_ = false;
        --moving_;
        reportError(e);
        showCurrentRow();
        emit Reposition();
        return;
    }
    validated_ = false;
    --moving_;
    if (movedDuringNav_) {
        movedDuringNav_ = false;
        rowDeleted_ = false;
        showCurrentRow();
        emit Reposition();
    }
}

}  // namespace controls
