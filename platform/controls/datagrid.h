// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data-bound grid: shows the record set of a data control as a table,
// with a heading and a bound field per column, a record-selector column at
// the left (a triangle on the current row, a pencil on the row being
// edited, a star on the new-row line) and a new-row line at the end. Cells
// are edited in place; the edits of a row are written when the user leaves
// the row or presses Enter, after BeforeUpdate; Delete removes the selected
// rows after one BeforeDelete. A value the grid refuses keeps its editor
// open; a write the set refuses keeps the typed values in the row, marked.
// A set that cannot be written opens no editor and has no new-row line.
//
// Only the rows in view are read (see RecordsetModel).

#include "controls/recordsetmodel.h"

#include <QHash>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <functional>

class QLineEdit;
class QTimer;

namespace controls {

class DataControl;

class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // The data control whose record set the grid shows; the grid rebinds
    // whenever the control's record set is replaced.
    void setDataSource(DataControl* source);
    DataControl* DataSource() const { return source_; }
    // Binds the grid to the data control's current record set again.
    void ReBind();

    // Columns as designed: heading and bound field. Returns the column index.
    int addColumn(const QString& caption, const QString& dataField);
    void clearColumns();
    // Columns shown now (the set's own fields when the designed ones are
    // missing from the set).
    int ColumnCount() const;
    QString ColumnCaption(int column) const;
    // The name and the position in the record set of a column's field
    // (-1 when the set has no such field).
    QString ColumnDataField(int column) const;
    int ColumnFieldIndex(int column) const;

    bool AllowAddNew() const { return model_->allowAddNew(); }
    void setAllowAddNew(bool allow) { model_->setAllowAddNew(allow); }
    bool AllowUpdate() const { return model_->allowUpdate(); }
    void setAllowUpdate(bool allow) { model_->setAllowUpdate(allow); }
    bool AllowDelete() const { return allowDelete_; }
    void setAllowDelete(bool allow) { allowDelete_ = allow; }

    // Height in twips. A negative height is refused with error 380.
    double Height() const;
    void setHeight(double twips);

    // Writes the row being edited now (BeforeUpdate is raised first).
    // Returns false when it was cancelled or refused.
    bool UpdateRow();
    // Settles the edits before the grid's rows are left (a refresh, a sort,
    // a reload, closing): the open editor's text joins the row's edits, and
    // the row is written after BeforeUpdate (a cancel drops the edits).
    // Returns false when the user has to stay: the grid refused the typed
    // value (its editor stays open, with the message) or the set refused
    // the write (the edits stay, marked).
    bool finishEdits();
    // Whether a row holds edits not yet written (or an editor was typed into).
    bool DataChanged() const { return model_->hasPendingEdits() || editorChanged(); }
    // Deletes the selected rows after one BeforeDelete, in one write.
    void DeleteSelectedRows();
    // How many stored rows DeleteSelectedRows removes (for BeforeDelete).
    int SelectedRowCount() const;

    // Texts a column is made wide enough for, besides its heading and first
    // rows (say, every standard value of the field).
    void setColumnWidthSamples(const QString& dataField, const QStringList& texts);

    // Where the user is: the current row (by bookmark) and column, and the
    // first row in view. A reload of the same rows puts the user back.
    struct ViewPosition {
        QByteArray current;
        int column = 0;
        QByteArray top;
        int topRow = 0;
    };
    ViewPosition viewPosition() const;
    void setViewPosition(const ViewPosition& position);
    // The first rows in view, the first row current (after a sort or a
    // refresh).
    void showFirstRows();

    // Runs work, a statement on db for this grid's window, with the "still
    // running" window after about a second (Cancel ends the statement with
    // 3059). Meanwhile the grid shows the rows it has read and reads no more.
    void runStatement(dao::Database& db, const std::function<void()>& work);

    // Rows of the set and the line of the view that is current (-1 for none).
    long long ApproxCount() const { return model_->recordCount(); }
    int Row() const;

    RecordsetModel* recordsetModel() const { return model_; }

    // The open editor's text, checked as a value of its cell: "" when the
    // cell takes it (or no editor is open), otherwise the message. Used by
    // the cell editors themselves.
    QString editorProblem() const;
    // Says why the open editor's text is refused and keeps the editor open,
    // its text marked.
    void refuseEditorValue(const QString& problem);

signals:
    // BeforeUpdate and BeforeDelete read the handler's answer back: connect
    // them only directly (ui::onAnswer).
    // Raised just before a changed or new row is written; Cancel = True
    // (-1) keeps the row from being written.
    void BeforeUpdate(int& Cancel);
    // Raised before a row is deleted; Cancel = True keeps the row.
    void BeforeDelete(int& Cancel);
    // A column heading was clicked (column index counting from 0). It comes
    // after the MouseUp of the same click.
    void HeadClick(int ColIndex);
    // A mouse button was released over the grid. Button: 1 left, 2 right,
    // 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt; X and Y in twips from the
    // grid's top left corner.
    void MouseUp(int Button, int Shift, float X, float Y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    // Typing goes into the current cell, never to a row found by its text.
    void keyboardSearch(const QString& search) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void rebind();
    void showFirstRows(int column);
    void headerClicked(int section);
    bool headingEvent(QEvent* event);
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void showWriteError(const dao::Error& e);
    void fitColumns();
    QLineEdit* openEditor() const;
    bool editorChanged() const;
    // False (after saying why) when the open editor's text must stay.
    bool editorMayClose();

    RecordsetModel* model_ = nullptr;
    QPointer<DataControl> source_;
    QMetaObject::Connection sourceConnection_;
    bool allowDelete_ = true;
    // The fields the columns were last sized for: a set with the same
    // fields (a sort, a Requery) keeps the widths the user sees.
    QStringList fittedFields_;
    QHash<QString, QStringList> widthSamples_;  // by field, without regard to case
    int pressedHeading_ = -1;  // a heading pressed, sorted by on its release
    // A click on the current cell opens its editor once no double click can
    // follow; a key typed before then opens it at once, with the key.
    bool pressedCurrent_ = false;
    QTimer* clickEdit_ = nullptr;
    bool returning_ = false;   // the current cell goes back to a row whose write failed
};

}  // namespace controls
