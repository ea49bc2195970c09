// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data-bound grid: shows the record set of a data control as a table,
// with a heading and a bound field per column, a record-selector column at
// the left and a new-row line at the end. Cells are edited in place; the
// edits of a row are written when the user leaves the row or presses Enter,
// after BeforeUpdate; Delete removes the selected rows after BeforeDelete.
//
// Only the rows in view are read (see RecordsetModel).

#include "controls/recordsetmodel.h"

#include <QPointer>
#include <QStringList>
#include <QTableView>

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
    // Whether a row holds edits not yet written.
    bool DataChanged() const { return model_->hasPendingEdits(); }
    // Deletes the selected rows (or the current one when selectCurrent),
    // each after BeforeDelete.
    void DeleteSelectedRows();

    // Rows of the set and the line of the view that is current (-1 for none).
    long long ApproxCount() const { return model_->recordCount(); }
    int Row() const;

    RecordsetModel* recordsetModel() const { return model_; }

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
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    void rebind();
    void headerClicked(int section);
    void currentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void showWriteError(const dao::Error& e);
    void fitColumns();

    RecordsetModel* model_ = nullptr;
    QPointer<DataControl> source_;
    QMetaObject::Connection sourceConnection_;
    bool allowDelete_ = true;
    // The fields the columns were last sized for: a set with the same
    // fields (a sort, a Requery) keeps the widths the user sees.
    QStringList fittedFields_;
};

}  // namespace controls
