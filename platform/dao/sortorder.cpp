// SPDX-License-Identifier: GPL-3.0-or-later
#include "sortorder.h"

#include "errors.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace dao {

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == u'_' || c.unicode() > 127; }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() > 127; }

// The code point at s[i], folded to one case as the engine's text collation
// folds it (any letter, not only A to Z); i moves past it.
char32_t foldedAt(QStringView s, qsizetype& i) {
    char32_t c = s[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(s[i], s[i + 1]);
        i += 2;
    } else {
        ++i;
    }
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

// Text without regard to case, in the order of its code points.
int compareNoCase(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = foldedAt(a, i), y = foldedAt(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    return j < b.size() ? -1 : 0;
}

enum Class { Null, Number, Text, Blob };

Class classOf(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return Null;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return Number;
    case QMetaType::QByteArray:
        return Blob;
    default:
        return Text;
    }
}

bool integral(const QVariant& v) { return v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float; }

}  // namespace

QString sortText(const SortOrder& order) {
    QStringList terms;
    for (const SortKey& key : order) {
        QString name = key.field;
        name.replace(u']', QStringLiteral("]]"));
        terms << u'[' + name + u']' + (key.descending ? QStringLiteral(" desc") : QString());
    }
    return terms.join(QStringLiteral(", "));
}

SortOrder parseSort(const QString& text) {
    const auto fail = [&text] {
        return Error(err::SyntaxError,
                     QStringLiteral("The sort order '%1' cannot be read. Write it as [Field] or [Field] desc.")
                         .arg(text));
    };
    SortOrder order;
    const qsizetype n = text.size();
    qsizetype i = 0;
    const auto skipSpace = [&] {
        while (i < n && text[i].isSpace()) ++i;
    };
    skipSpace();
    while (i < n) {
        SortKey key;
        const QChar open = text[i];
        if (open == u'[' || open == u'"' || open == u'`') {
            const QChar close = open == u'[' ? QChar(u']') : open;
            bool closed = false;
            for (++i; i < n; ++i) {
                if (text[i] != close) {
                    key.field += text[i];
                } else if (i + 1 < n && text[i + 1] == close) {
                    key.field += close;  // a doubled closing mark stands for itself
                    ++i;
                } else {
                    ++i;
                    closed = true;
                    break;
                }
            }
            if (!closed) throw fail();
        } else if (isNameStart(open)) {
            while (i < n && isNameChar(text[i])) key.field += text[i++];
        }
        if (key.field.trimmed().isEmpty()) throw fail();
        skipSpace();
        QString word;
        while (i < n && text[i].isLetter()) word += text[i++];
        if (word.compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0) key.descending = true;
        else if (!word.isEmpty() && word.compare(QLatin1String("asc"), Qt::CaseInsensitive) != 0) throw fail();
        skipSpace();
        order.push_back(std::move(key));
        if (i == n) break;
        if (text[i] != u',') throw fail();
        ++i;
        skipSpace();
        if (i == n) throw fail();  // a comma with nothing after it
    }
    return order;
}

int compareSortValues(const QVariant& a, const QVariant& b) {
    const Class ca = classOf(a), cb = classOf(b);
    if (ca != cb) return ca < cb ? -1 : 1;
    switch (ca) {
    case Null:
        return 0;
    case Number:
        if (integral(a) && integral(b)) {
            const qlonglong x = a.toLongLong(), y = b.toLongLong();
            return x == y ? 0 : (x < y ? -1 : 1);
        } else {
            const long double x = integral(a) ? (long double)a.toLongLong() : a.toDouble();
            const long double y = integral(b) ? (long double)b.toLongLong() : b.toDouble();
            return x == y ? 0 : (x < y ? -1 : 1);
        }
    case Text:
        return compareNoCase(a.toString(), b.toString());
    case Blob: {
        const QByteArray x = a.toByteArray(), y = b.toByteArray();
        const int c = std::memcmp(x.constData(), y.constData(), size_t(std::min(x.size(), y.size())));
        if (c != 0) return c < 0 ? -1 : 1;
        return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
    }
    }
    return 0;
}

}  // namespace dao
