// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The order a record set is sorted in: fields and directions, kept as data
// and quoted only when a statement is built from them. Its text form is
// what the windows show and store: "[Time]", "[Date] desc", several keys
// joined by ", ". A ']' inside a name is written twice ("[Time [min]]]"),
// so any name reads back as itself and never as more than one key.

#include <QString>
#include <QVariant>

#include <vector>

namespace dao {

struct SortKey {
    QString field;
    bool descending = false;
    bool operator==(const SortKey&) const = default;
};
using SortOrder = std::vector<SortKey>;

// The text form of an order ("" for none).
QString sortText(const SortOrder& order);

// Reads the text form: names in [brackets], "double quotes" or bare, each
// with an optional ASC or DESC in any letter case, separated by commas.
// Blank text is no order. Anything else is error 3075, naming the text.
SortOrder parseSort(const QString& text);

// Compares two values the way the statements' ORDER BY does on text fields:
// nulls first, then numbers by value, then text with every letter folded
// to one case (in the order of its code points), then blobs byte by byte.
// Negative, zero or positive.
int compareSortValues(const QVariant& a, const QVariant& b);

}  // namespace dao
