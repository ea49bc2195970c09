// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data control: opens a record set over a database and a record source,
// shows a navigation bar (first, previous, next, last around its caption) and
// binds controls to fields of the current row.

#include "dao/dao.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <vector>

class QLabel;
class QToolButton;

namespace controls {

// Data control record set types (RecordsetType property).
enum DataRecordsetType : int { vbRSTypeTable = 0, vbRSTypeDynaset = 1, vbRSTypeSnapShot = 2 };

// Actions reported by Validate.
enum DataAction : int {
    vbDataActionCancel = 0,
    vbDataActionMoveFirst = 1,
    vbDataActionMovePrevious = 2,
    vbDataActionMoveNext = 3,
    vbDataActionMoveLast = 4,
    vbDataActionAddNew = 5,
    vbDataActionUpdate = 6,
    vbDataActionDelete = 7,
    vbDataActionFind = 8,
    vbDataActionBookmark = 9,
    vbDataActionClose = 10,
    vbDataActionUnload = 11,
};

class DataControl : public QWidget, public dao::RecordsetObserver {
    Q_OBJECT
public:
    explicit DataControl(QWidget* parent = nullptr);
    ~DataControl() override;

    QString DatabaseName() const { return databaseName_; }
    void setDatabaseName(const QString& name) { databaseName_ = name; }
    QString RecordSource() const { return recordSource_; }
    void setRecordSource(const QString& source) { recordSource_ = source; }
    QString Connect() const { return connect_; }
    void setConnect(const QString& connect) { connect_ = connect; }
    int RecordsetType() const { return recordsetType_; }
    void setRecordsetType(int type);  // 0, 1 or 2; 380 otherwise
    int Options() const { return options_; }
    void setOptions(int options) { options_ = options; }
    QString Caption() const;
    void setCaption(const QString& caption);

    // The open record set (null before the first Refresh). Setting it binds
    // the control (and its bound controls and grids) to another set; the
    // first row of the new set becomes current.
    dao::RecordsetPtr Recordset() const { return recordset_; }
    void setRecordset(dao::RecordsetPtr recordset);
    dao::DatabasePtr Database() const { return database_; }

    // Opens the database and the record source afresh; the first row becomes
    // current. With an empty record source only the database is opened.
    // Failures throw dao::Error. When the changed values of the current row
    // cannot be written because the row was changed elsewhere (see
    // SaveCurrentRow), the set and what the user typed stay as they are.
    void Refresh();
    // Writes changed bound values to the current row now (a new row being
    // added is stored). Failures throw dao::Error; the values stay shown.
    void UpdateRecord();
    // Shows the current row's values again, dropping unsaved changes.
    void UpdateControls();
    // Writes the changed bound values of the current stored row now, as the
    // control does before it leaves a row (a moving navigation bar, Refresh,
    // Close); a failure goes to the Error event. Returns false when they
    // were not written because another window or program changed the row
    // after it was shown (3197): the row stays current, the controls the
    // user changed keep what was typed, the others show the stored values,
    // and the next write replaces those. True otherwise.
    bool SaveCurrentRow();

    // Binds a QLineEdit, QPlainTextEdit, QTextEdit, editable QComboBox (its
    // text) or QCalendarWidget (its selected date) to a field by name.
    void bind(QWidget* control, const QString& dataField);
    // Whether a bound control was changed since the row was shown.
    bool DataChanged() const;

    // Leaves the current row as when the window closes (Validate with
    // vbDataActionClose, then changed bound values are written) and lets go
    // of the record set. Errors go to the Error event. Call it while the
    // window is still whole (from Form_Unload), not from a destructor.
    void Close();

    // The description of the error last reported through the Error event.
    QString ErrorDescription() const { return errorDescription_; }

    // The navigation bar's buttons in their tab order (first, previous,
    // next, last), for the window's own tab order. Their keys: Ctrl+Home,
    // Ctrl+Page Up, Ctrl+Page Down, Ctrl+End.
    QList<QWidget*> tabStops() const;

    // The navigation bar's buttons, as the user clicks them.
    void moveFirst() { navigate(vbDataActionMoveFirst); }
    void movePrevious() { navigate(vbDataActionMovePrevious); }
    void moveNext() { navigate(vbDataActionMoveNext); }
    void moveLast() { navigate(vbDataActionMoveLast); }

signals:
    // A row became current (or there is none any more).
    void Reposition();
    // Validate and Error read the handler's answers back: connect them only
    // directly (ui::onAnswer).
    // The control is about to act on the record set. Setting Action to
    // vbDataActionCancel cancels a move started from the navigation bar;
    // setting Save to 0 drops the bound controls' changes.
    void Validate(int& Action, int& Save);
    // The engine reported an error during the control's own work (saving
    // bound values, moving). Response 0 suppresses the control's own message.
    void Error(int DataErr, int& Response);
    // The bound record set was replaced (grids rebind).
    void recordsetReplaced();

protected:
    void recordsetAboutToLeaveRow(dao::Recordset& rs, dao::LeaveReason reason) override;
    void recordsetMoved(dao::Recordset& rs) override;
    void recordsetRowsChanged(dao::Recordset& rs) override;

private:
    struct Binding;
    void navigate(int action);
    // Validate (unless the navigation bar already raised it) and the saving
    // of changed bound values before the set leaves its row.
    bool leaveRow(dao::Recordset& rs, int action);
    bool saveRow(dao::Recordset& rs);
    void writeBoundValues(dao::Recordset& rs);
    void showCurrentRow();
    // Takes the current row's values as the ones a write compares with.
    void rememberRow(dao::Recordset& rs);
    // After a write refused for a change made elsewhere: the changed
    // controls keep what was typed, the others show the stored row.
    void keepTypedOverStored(dao::Recordset& rs);
    void markUnchanged();
    void reportError(const dao::Error& error);
    void attach(dao::RecordsetPtr recordset);
    void detach();
    // implementation detail, owned by the implementation
    QString databaseName_;
    QString recordSource_;
    QString connect_;
    int recordsetType_ = vbRSTypeDynaset;
    int options_ = 0;
    dao::DatabasePtr database_;
    dao::RecordsetPtr recordset_;
    QLabel* caption_ = nullptr;
    QToolButton* first_ = nullptr;
    QToolButton* previous_ = nullptr;
    QToolButton* next_ = nullptr;
    QToolButton* last_ = nullptr;
    std::vector<Binding*> bindings_;
    std::vector<QVariant> readValues_;  // the current stored row as shown
    QString errorDescription_;
    bool validated_ = false;   // the navigation bar raised Validate for this move
    int navSave_ = 0;          // its Save answer
    bool saving_ = false;      // writing bound values: the set's own notices are ours
    int moving_ = 0;           // inside a navigation: one Reposition at its end
    bool movedDuringNav_ = false;
    bool rowDeleted_ = false;  // the current row was deleted; nothing to write to it
};

}  // namespace controls
