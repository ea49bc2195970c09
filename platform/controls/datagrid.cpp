// SPDX-License-Identifier: GPL-3.0-or-later
#include "datagrid.h"

#include "controls/datacontrol.h"
#include "ui/msgbox.h"
#include "ui/statementprogress.h"
#include "ui/twips.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace controls {

namespace {

// Set on a cell editor once the user has changed its text: only such an
// editor's text is ever written (an untouched one holds the stored value).
constexpr char kTyped[] = "pacebookTyped";

// The in-place editor: checks what was typed before it reaches the row. A
// value the cell refuses stays in its editor, marked, with the message.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(DataGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            // A stored value of any length opens whole (a line edit holds
            // 32,767 characters unless told otherwise).
            line->setMaxLength(std::numeric_limits<int>::max());
            // The row counts as edited from the first character typed.
            RecordsetModel* model = grid_->recordsetModel();
            const QPersistentModelIndex at(index);
            QObject::connect(line, &QLineEdit::textEdited, line, [line, model, at] {
                line->setProperty(kTyped, true);
                line->setPalette(QPalette());
                if (at.isValid()) model->beginEdit(at.row());
            });
        }
        return editor;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        auto* rm = qobject_cast<RecordsetModel*>(model);
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!rm || !line) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        const QString text = line->text();
        // An untouched cell is not a change; a refused value never reaches
        // the row (the grid keeps its editor open and says why).
        if (!line->property(kTyped).toBool() || text == rm->data(index, Qt::EditRole).toString()) return;
        if (!rm->validate(index, text, nullptr).isEmpty()) return;
        model->setData(index, text, Qt::EditRole);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* line = qobject_cast<QLineEdit*>(object);
        if (line && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
                const QString problem = grid_->editorProblem();
                if (!problem.isEmpty()) {
                    grid_->refuseEditorValue(problem);
                    return true;
                }
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    grid_->UpdateRow();  // Enter writes the row
                    return true;
                }
            }
        }
        // A refused value stays in its editor when the focus leaves it;
        // whatever took the focus says why when it acts.
        if (line && event->type() == QEvent::FocusOut && !grid_->editorProblem().isEmpty()) return false;
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    DataGrid* grid_;
};

// Whether x on the heading lies on the edge between two columns, where a
// drag widens a column.
bool onResizeGrip(const QHeaderView* h, int x) {
    const int section = h->logicalIndexAt(x);
    if (section < 0) return false;
    const int grip = h->style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, h);
    const int start = h->sectionViewportPosition(section);
    if (x > start + h->sectionSize(section) - grip) return h->sectionResizeMode(section) == QHeaderView::Interactive;
    const int visual = h->visualIndex(section);
    if (x < start + grip && visual > 0)
        return h->sectionResizeMode(h->logicalIndex(visual - 1)) == QHeaderView::Interactive;
    return false;
}

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

// The record selectors' column has one fixed width. Qt's header would
// measure the marks of 200 rows for its size after every move of the
// current row (each changes a mark), which was over half the cost of a
// heading-click sort; the width it found was never used.
class SelectorHeader final : public QHeaderView {
public:
    explicit SelectorHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
        // As the table view's own vertical header.
        setSectionsClickable(true);
        setHighlightSections(true);
    }
    QSize sizeHint() const override { return {minimumWidth(), defaultSectionSize()}; }
};

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
                    QAbstractItemView::AnyKeyPressed);
    // A click on the current cell edits it (the view's own delayed edit
    // would send a key typed meanwhile to a search for another row).
    clickEdit_ = new QTimer(this);
    clickEdit_->setSingleShot(true);
    connect(clickEdit_, &QTimer::timeout, this, [this] {
        if (state() != QAbstractItemView::EditingState && currentIndex().isValid()) edit(currentIndex());
    });
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* h = horizontalHeader();
    h->setSectionsClickable(true);
    // Fitted to their contents by the grid, widened by the user's drag.
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setStretchLastSection(true);
    h->setHighlightSections(false);

    // The record selectors: a narrow column of fixed width, rows of uniform
    // height (so a million rows cost the header nothing).
    setVerticalHeader(new SelectorHeader(this));
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
    // A write that waits for another program's lock says so and can be
    // cancelled (3059).
    model_->aroundWrite = [this](const std::function<void()>& write) {
        const auto rs = model_->recordset();
        if (const dao::DatabasePtr db = rs ? rs->database() : nullptr) runStatement(*db, write);
        else write();
    };

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
    const int column = std::max(currentIndex().column(), 0);
    model_->setRecordset(source_ ? source_->Recordset() : dao::RecordsetPtr());
    const auto rs = model_->recordset();
    const QStringList fields = rs ? rs->fieldNames() : QStringList();
    if (fields.isEmpty() || fields != fittedFields_) {
        fitColumns();
        fittedFields_ = fields;
    }
    // Another set (a sort, the rows handed over) shows from its first row.
    showFirstRows(column);
}

void DataGrid::showFirstRows() { showFirstRows(std::max(currentIndex().column(), 0)); }

void DataGrid::showFirstRows(int column) {
    if (model_->rowCount() > 0) setCurrentIndex(model_->index(0, std::min(column, model_->columnCount() - 1)));
    scrollToTop();
}

DataGrid::ViewPosition DataGrid::viewPosition() const {
    ViewPosition at;
    const auto rs = model_->recordset();
    const QModelIndex current = currentIndex();
    at.column = std::max(current.column(), 0);
    at.topRow = std::max(rowAt(0), 0);
    try {
        if (rs && current.isValid() && current.row() < model_->recordCount()) at.current = rs->bookmarkAt(current.row());
        if (rs && at.topRow < model_->recordCount()) at.top = rs->bookmarkAt(at.topRow);
    } catch (const dao::Error&) {
    }
    return at;
}

void DataGrid::setViewPosition(const ViewPosition& at) {
    const auto rs = model_->recordset();
    if (!rs) return;
    long long current = -1, top = at.topRow;
    try {
        if (!at.current.isEmpty()) current = rs->findBookmark(at.current);
        if (!at.top.isEmpty()) {
            const long long p = rs->findBookmark(at.top);
            if (p >= 0) top = p;
        }
    } catch (const dao::Error&) {
    }
    // Rows a sorted set collected to find them are shown too.
    if (model_->canFetchMore(QModelIndex()) && std::max(current, top) >= model_->rowCount())
        model_->fetchMore(QModelIndex());
    const int rows = model_->rowCount();
    if (rows == 0) return;
    if (current < 0 || current >= rows) current = std::min<long long>(top, rows - 1);
    setCurrentIndex(model_->index(int(current), std::min(at.column, model_->columnCount() - 1)));
    verticalScrollBar()->setValue(int(std::min<long long>(top, rows - 1)));
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

QLineEdit* DataGrid::openEditor() const {
    if (state() != QAbstractItemView::EditingState) return nullptr;
    return qobject_cast<QLineEdit*>(indexWidget(currentIndex()));
}

bool DataGrid::editorChanged() const {
    QLineEdit* line = openEditor();
    return line && line->property(kTyped).toBool() &&
           line->text() != model_->data(currentIndex(), Qt::EditRole).toString();
}

QString DataGrid::editorProblem() const {
    if (!editorChanged()) return {};
    return model_->validate(currentIndex(), openEditor()->text(), nullptr);
}

void DataGrid::refuseEditorValue(const QString& problem) {
    ui::MsgBox(problem, ui::vbOKOnly + ui::vbExclamation);
    if (QLineEdit* line = openEditor()) {
        QPalette marked = line->palette();
        marked.setColor(QPalette::Base, QColor(255, 221, 221));
        line->setPalette(marked);
        line->setFocus();
        line->selectAll();
    }
}

bool DataGrid::editorMayClose() {
    const QString problem = editorProblem();
    if (problem.isEmpty()) return true;
    refuseEditorValue(problem);
    return false;
}

bool DataGrid::UpdateRow() {
    // Take what is in the open editor first.
    if (QLineEdit* line = openEditor()) {
        if (!editorMayClose()) return false;
        commitData(line);
        closeEditor(line, QAbstractItemDelegate::NoHint);
    }
    return model_->commitRow();
}

bool DataGrid::finishEdits() {
    UpdateRow();
    // A cancel has dropped the edits; a refusal keeps them, or the editor.
    return !model_->hasPendingEdits() && !openEditor();
}

void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    // Typed into and left as it was (or Esc): nothing is being edited.
    if (model_->hasPendingEdits() && !model_->hasPendingValues() && !openEditor()) model_->revertRow();
}

void DataGrid::setColumnWidthSamples(const QString& dataField, const QStringList& texts) {
    widthSamples_[dataField.toLower()] = texts;
    fitColumns();
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
        for (const QString& text : widthSamples_.value(ColumnDataField(c).toLower()))
            width = std::max(width, fm.horizontalAdvance(text) + pad);
        setColumnWidth(c, std::min(width, 40 * fm.averageCharWidth()));
    }
}

void DataGrid::headerClicked(int section) {
    // A sort replaces the set: the row being edited is settled first, and
    // the sort happens after the answer unless the edits have to stay.
    if (!finishEdits()) return;
    emit HeadClick(section);
}

bool DataGrid::headingEvent(QEvent* event) {
    // A heading is pressed and released to sort; the press does not select
    // the column (nor move the current row away from the edits). Its edges
    // still widen columns.
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const QHeaderView* h = horizontalHeader();
    auto* me = static_cast<QMouseEvent*>(event);
    const int x = me->position().toPoint().x();
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (me->button() != Qt::LeftButton || h->logicalIndexAt(x) < 0 || onResizeGrip(h, x)) return false;
        pressedHeading_ = h->logicalIndexAt(x);
        return true;
    case QEvent::MouseMove:
        return pressedHeading_ >= 0;
    case QEvent::MouseButtonRelease: {
        if (pressedHeading_ < 0 || me->button() != Qt::LeftButton) return false;
        const int section = std::exchange(pressedHeading_, -1);
        if (h->logicalIndexAt(x) == section) headerClicked(section);
        return true;
    }
    default:
        return false;
    }
}

void DataGrid::currentRowChanged(const QModelIndex& current, const QModelIndex& previous) {
    model_->setCurrentLine(current.isValid() ? current.row() : -1);
    if (returning_ || !previous.isValid() || current.row() == previous.row()) return;
    const int pending = model_->pendingRow();
    if (pending < 0 || pending == current.row()) return;
    model_->commitRow();
    if (model_->hasPendingEdits()) {
        // The set refused the write: back to the row that keeps what was typed.
        returning_ = true;
        setCurrentIndex(model_->index(model_->pendingRow(), std::max(previous.column(), 0)));
        returning_ = false;
    }
}

int DataGrid::SelectedRowCount() const {
    int n = 0;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        if (i.row() < model_->recordCount()) ++n;
    return n;
}

void DataGrid::DeleteSelectedRows() {
    if (!allowDelete_) return;
    QList<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.append(i.row());
    if (rows.isEmpty()) return;
    if (SelectedRowCount() > 0) {
        const auto rs = model_->recordset();
        if (!rs || !rs->Updatable()) {
            QApplication::beep();  // the window says why its rows cannot be changed
            return;
        }
        int Cancel = 0;
        emit BeforeDelete(Cancel);
        if (Cancel) return;
    }
    try {
        model_->deleteRows(rows);
    } catch (const dao::Error& e) {
        ui::MsgBox(QStringLiteral("Nothing was deleted.\n\n%1 (error %2)").arg(e.Description()).arg(e.Number()),
                   ui::vbOKOnly + ui::vbExclamation);
    }
}

void DataGrid::runStatement(dao::Database& db, const std::function<void()>& work) {
    ui::StatementProgress progress(db, window());
    work();
}

void DataGrid::showWriteError(const dao::Error& e) {
    ui::MsgBox(QStringLiteral("The row was not saved. What you typed stays in the row, marked: press Enter to "
                              "save it again, or Esc to drop it.\n\n%1 (error %2)")
                   .arg(e.Description())
                   .arg(e.Number()),
               ui::vbOKOnly + ui::vbExclamation);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
    clickEdit_->stop();
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

void DataGrid::mousePressEvent(QMouseEvent* event) {
    // A click elsewhere leaves a refused value in its editor.
    const QModelIndex at = indexAt(event->position().toPoint());
    if (openEditor() && at != currentIndex() && !editorMayClose()) {
        event->accept();
        return;
    }
    pressedCurrent_ = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && at.isValid() &&
                      at == currentIndex() && selectionModel()->isSelected(at);
    QTableView::mousePressEvent(event);
}

void DataGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (std::exchange(pressedCurrent_, false) && indexAt(event->position().toPoint()) == currentIndex() &&
        state() != QAbstractItemView::EditingState)
        clickEdit_->start(QApplication::doubleClickInterval());
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    clickEdit_->stop();
    QTableView::mouseDoubleClickEvent(event);
}

void DataGrid::keyboardSearch(const QString&) {}

QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // An arrow key leaves a refused value in its editor.
    if (openEditor() && !editorMayClose()) return currentIndex();
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
    if (watched == horizontalHeader()->viewport() && headingEvent(event)) return true;
    // A record selector click leaves a refused value in its editor.
    if (watched == verticalHeader()->viewport() && event->type() == QEvent::MouseButtonPress && openEditor() &&
        !editorMayClose())
        return true;
    return QTableView::eventFilter(watched, event);
}

}  // namespace controls
