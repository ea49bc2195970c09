// SPDX-License-Identifier: GPL-3.0-or-later
#include "summarymodel.h"

namespace {
// Columns before the minutes per type.
enum Column { Label, Runs, Minutes, HoursMinutes, Longest, FirstType };
}  // namespace

SummaryModel::SummaryModel(QObject* parent) : QAbstractTableModel(parent), headers_(summary::columnHeaders()) {}

void SummaryModel::setTotals(const summary::Totals& totals) {
    beginResetModel();
    totals_ = totals;
    endResetModel();
}

int SummaryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(totals_.rows.size());
}

int SummaryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(headers_.size()); }

QVariant SummaryModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const summary::PeriodTotals& p = totals_.rows[size_t(index.row())];
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return column == Label ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    switch (column) {
    case Label: return p.label;
    case Runs: return p.runs;
    case Minutes: return p.minutes;
    case HoursMinutes: return summary::hoursMinutes(p.minutes);
    case Longest: return p.longest;
    default: return p.byType[size_t(column - FirstType)];
    }
}

QVariant SummaryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
    if (role == Qt::DisplayRole) return headers_[section];
    if (role == Qt::ToolTipRole) {
        switch (section) {
        case Label: return tr("The week (ISO 8601, Monday first), month or year");
        case Runs: return tr("Number of runs");
        case Minutes: return tr("Total minutes");
        case HoursMinutes: return tr("Total time in hours and minutes");
        case Longest: return tr("Longest run, in minutes");
        default: return tr("Minutes of %1 runs").arg(headers_[section]);
        }
    }
    return {};
}
