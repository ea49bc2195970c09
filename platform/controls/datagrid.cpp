// SPDX-License-Identifier: GPL-3.0-or-later
#include "datagrid.h"

#include "controls/datacontrol.h"
#include "ui/msgbox.h"
#include "ui/twips.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace controls {

namespace {

// The in-place editor: checks what was typed before it reaches the row.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        auto* rm = qobject_cast<RecordsetModel*>(model);
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!rm || !line) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        const QString text = line->text();
        // An untouched cell is not a change.
        if (text == rm->data(index, Qt::EditRole).toString()) return;
        const QString problem = rm->validate(index, text, nullptr);
        if (!problem.isEmpty()) {
            ui::MsgBox(problem, ui::vbOKOnly + ui::vbExclamation);
            return;  // nothing is written; the cell keeps its value
        }
        model->setData(index, text, Qt::EditRole);
    }
};

int buttonNumber(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

int shiftMask(Qt::KeyboardModifiers m) {
    int shift = 0;
    if (m & Qt::ShiftModifier) shift |= 1;
    if (m & Qt::ControlModifier) shift |= 2;
    if (m & Qt::AltModifier) shift |= 4;
    return shift;
}

}  // namespace

DataGrid::DataGrid(QWidget* parent) : QTableView(parent), model_(new RecordsetModel(this)) {
    setModel(model_);
    setItemDelegate(new CellDelegate(this));
    setSortingEnabled(false);
    setTabKeyNavigation(false);  // Tab leaves the grid for the next control
    setWordWrap(false);
    setGridStyle(Qt::SolidLine);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* h = horizontalHeader();
    h->setSectionsClickable(true);
    h->setSectionResizeMode(QHeaderView::Fixed);  // columns are sized by the grid
    h->setStretchLastSection(true);
    h->setHighlightSections(false);

    // The record selectors: a narrow column of fixed width, rows of uniform
    // height (so a million rows cost the header nothing).
    QHeaderView* v = verticalHeader();
    v->setSectionResizeMode(QHeaderView::Interactive);
    v->setDefaultSectionSize(fontMetrics().height() + 6);
    v->setMinimumSectionSize(fontMetrics().height() / 2);
    v->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("WW")) + 8);
    v->setDefaultAlignment(Qt::AlignCenter);
    v->setResizeContentsPrecision(0);
    h->setResizeContentsPrecision(0);

    model_->beforeUpdate = [this] {
        int Cancel = 0;
        emit BeforeUpdate(Cancel);
        return Cancel != 0;
    };
    model_->writeFailed = [this](const dao::Error& e) { showWriteError(e); };

    connect(h, &QHeaderView::sectionClicked, this, &DataGrid::headerClicked);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DataGrid::currentRowChanged);

    viewport()->installEventFilter(this);
    h->viewport()->installEventFilter(this);
    v->viewport()->installEventFilter(this);
}

DataGrid::~DataGrid() = default;

void DataGrid::setDataSource(DataControl* source) {
    if (sourceConnection_) disconnect(sourceConnection_);
    source_ = source;
    if (source) sourceConnection_ = connect(source, &DataControl::recordsetReplaced, this, &DataGrid::rebind);
    rebind();
}

void DataGrid::ReBind() { rebind(); }

void DataGrid::rebind() {
    // Edits of the row being left are written to the set they belong to.
    if (model_->hasPendingEdits()) model_->commitRow();
    model_->setRecordset(source_ ? source_->Recordset() : dao::RecordsetPtr());
    const auto rs = model_->recordset();
    const QStringList fields = rs ? rs->fieldNames() : QStringList();
    if (fields.isEmpty() || fields != fittedFields_) {
        fitColumns();
        fittedFields_ = fields;
    }
}

int DataGrid::addColumn(const QString& caption, const QString& dataField) {
    auto columns = model_->boundColumns();
    columns.append(RecordsetModel::Column{caption, dataField});
    model_->setBoundColumns(columns);
    fitColumns();
    return int(columns.size()) - 1;
}

void DataGrid::clearColumns() { model_->setBoundColumns({}); }

int DataGrid::ColumnCount() const { return model_->columnCount(); }
QString DataGrid::ColumnCaption(int column) const { return model_->columnCaption(column); }

QString DataGrid::ColumnDataField(int column) const {
    const int f = model_->columnField(column);
    auto rs = model_->recordset();
    if (f >= 0 && rs) return rs->fieldNames().value(f);
    if (!model_->showsOwnFields() && column >= 0 && column < model_->boundColumns().size())
        return model_->boundColumns()[column].dataField;
    return {};
}

int DataGrid::ColumnFieldIndex(int column) const { return model_->columnField(column); }

double DataGrid::Height() const { return ui::pixelsToTwipsY(height()); }

void DataGrid::setHeight(double twips) {
    if (twips < 0) throw dao::Error(dao::err::InvalidPropertyValue);
    resize(width(), ui::twipsToPixelsY(twips));
}

int DataGrid::Row() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() : -1;
}

bool DataGrid::UpdateRow() {
    if (state() == QAbstractItemView::EditingState) {
        // Take what is in the open editor first.
        if (QWidget* editor = indexWidget(currentIndex())) commitData(editor);
    }
    return model_->commitRow();
}

void DataGrid::fitColumns() {
    const int n = model_->columnCount();
    const QFontMetrics fm = fontMetrics();
    const int pad = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 8;
    const int minimum = fm.horizontalAdvance(QStringLiteral("0000-00-00")) + pad;
    // Sized to the heading and the first rows only: a large set is never
    // read through for the sake of column widths.
    const int sample = std::min(model_->rowCount(), 40);
    for (int c = 0; c + 1 < n; ++c) {
        int width = std::max(minimum, fm.horizontalAdvance(model_->columnCaption(c)) + pad);
        for (int r = 0; r < sample; ++r)
            width = std::max(width, fm.horizontalAdvance(model_->data(model_->index(r, c)).toString()) + pad);
        setColumnWidth(c, std::min(width, 40 * fm.averageCharWidth()));
    }
}

void DataGrid::headerClicked(int section) {
    // A sort replaces the set: the row being edited is written first.
    if (model_->hasPendingEdits()) UpdateRow();
    emit HeadClick(section);
}

void DataGrid::currentRowChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (!previous.isValid() || current.row() == previous.row()) return;
    if (model_->pendingRow() == previous.row()) model_->commitRow();
}

void DataGrid::DeleteSelectedRows() {
    if (!allowDelete_) return;
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.append(i.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int row : rows) {
        if (model_->isNewRowLine(row)) {
            model_->revertRow();
            continue;
        }
        int Cancel = 0;
        emit BeforeDelete(Cancel);
        if (Cancel) continue;
        try {
            model_->deleteRow(row);
        } catch (const dao::Error& e) {
            ui::MsgBox(QStringLiteral("The row was not deleted.\n\n%1 (error %2)").arg(e.Description()).arg(e.Number()),
                       ui::vbOKOnly + ui::vbExclamation);
            return;
        }
    }
}

void DataGrid::showWriteError(const dao::Error& e) {
    ui::MsgBox(QStringLiteral("The row was not saved; it shows its stored values again.\n\n%1 (error %2)")
                   .arg(e.Description())
                   .arg(e.Number()),
               ui::vbOKOnly + ui::vbExclamation);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
    if (state() != QAbstractItemView::EditingState) {
        switch (event->key()) {
        case Qt::Key_Delete:
            if (allowDelete_ && !selectionModel()->selectedRows().isEmpty()) {
                DeleteSelectedRows();
                event->accept();
                return;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (model_->hasPendingEdits()) {
                model_->commitRow();
                event->accept();
                return;
            }
            break;
        case Qt::Key_Escape:
            if (model_->hasPendingEdits()) {
                model_->revertRow();
                event->accept();
                return;
            }
            break;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // Ctrl+End goes to the last row of the whole set, also of a sorted set
    // that has shown only its first rows so far.
    if (cursorAction == MoveEnd && (modifiers & Qt::ControlModifier) && model_->canFetchMore(QModelIndex()))
        model_->fetchMore(QModelIndex());
    return QTableView::moveCursor(cursorAction, modifiers);
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* w = qobject_cast<QWidget*>(watched);
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = w ? w->mapTo(this, me->position().toPoint()) : me->position().toPoint();
        // Reported before the widget handles the release, so a heading click
        // (raised on release) always comes after it.
        emit MouseUp(buttonNumber(me->button()), shiftMask(me->modifiers()), float(ui::pixelsToTwipsX(p.x())),
                     float(ui::pixelsToTwipsY(p.y())));
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace controls
