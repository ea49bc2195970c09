// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The totals table: one row per period, with its label, runs, minutes (also
// as h:mm), longest run and minutes per type.

#include "totals.h"

#include <QAbstractTableModel>

class SummaryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SummaryModel(QObject* parent = nullptr);

    void setTotals(const summary::Totals& totals);
    const summary::Totals& totals() const { return totals_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    summary::Totals totals_;
    QStringList headers_;
};
