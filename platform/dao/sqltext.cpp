// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqltext.h"

#include "dialect.h"
#include "errors.h"

#include <QDate>
#include <QRegularExpression>

namespace dao::sql {

namespace {

bool isNameStart(QChar c) { return c.isLetter() || c == u'_' || c.unicode() > 127; }
bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() > 127; }

// Reads the date written between #...#: "2024-05-31" or "5/31/2024" (month,
// day, year; a two-digit year is 1930 to 2029). Returns an invalid date for
// anything else.
QDate parseDateLiteral(const QString& inner, bool* looksLikeDate) {
    static const QRegularExpression iso(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
    static const QRegularExpression us(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2}|\\d{4})\\s*$"));
    *looksLikeDate = false;
    if (auto m = iso.match(inner); m.hasMatch()) {
        *looksLikeDate = true;
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    }
    if (auto m = us.match(inner); m.hasMatch()) {
        *looksLikeDate = true;
        return monthDayYear(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3));
    }
    return {};
}

struct Flat {
    Token tok;
    int depth;
};

// The tokens that are not blanks or comments, with their parenthesis depth.
std::vector<Flat> significant(const QString& sql, const std::vector<Token>& toks) {
    std::vector<Flat> out;
    int depth = 0;
    for (const Token& t : toks) {
        if (t.kind == TokenKind::Space) continue;
        if (t.kind == TokenKind::Punct && sql[t.begin] == u')') depth = std::max(0, depth - 1);
        out.push_back({t, depth});
        if (t.kind == TokenKind::Punct && sql[t.begin] == u'(') ++depth;
    }
    return out;
}

}  // namespace

QDate monthDayYear(int month, int day, const QString& year) {
    int y = year.toInt();
    if (year.size() == 2) y += y < 30 ? 2000 : 1900;
    return QDate(y, month, day);
}

QDate dateLiteralDay(const QString& token) {
    bool looks = false;
    if (token.size() < 2 || token.front() != u'#' || token.back() != u'#') return {};
    return parseDateLiteral(token.mid(1, token.size() - 2), &looks);
}

std::vector<Token> tokenize(const QString& s) {
    std::vector<Token> out;
    const int n = s.size();
    out.reserve(size_t(n / 3 + 4));
    int i = 0;
    auto push = [&](TokenKind k, int b, int e) { out.push_back({k, b, e}); };
    while (i < n) {
        const QChar c = s[i];
        const int b = i;
        if (c.isSpace()) {
            while (i < n && s[i].isSpace()) ++i;
            push(TokenKind::Space, b, i);
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n') ++i;
            push(TokenKind::Space, b, i);
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            int e = s.indexOf(QStringLiteral("*/"), i + 2);
            i = e < 0 ? n : e + 2;
            push(TokenKind::Space, b, i);
        } else if (c == u'\'' || c == u'"' || c == u'`') {
            ++i;
            while (i < n) {
                if (s[i] == c) {
                    if (i + 1 < n && s[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            push(c == u'\'' ? TokenKind::String : TokenKind::Quoted, b, i);
        } else if (c == u'[') {
            int e = s.indexOf(u']', i + 1);
            i = e < 0 ? n : e + 1;
            push(TokenKind::Quoted, b, i);
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            while (i < n && (s[i].isLetterOrNumber() || s[i] == u'.' || s[i] == u'_' ||
                             ((s[i] == u'+' || s[i] == u'-') && (s[i - 1] == u'e' || s[i - 1] == u'E'))))
                ++i;
            push(TokenKind::Number, b, i);
        } else if (isNameStart(c)) {
            while (i < n && isNameChar(s[i])) ++i;
            push(TokenKind::Word, b, i);
        } else if (c == u'#') {
            int e = s.indexOf(u'#', i + 1);
            bool looks = false;
            if (e > 0 && e - i < 40) parseDateLiteral(s.mid(i + 1, e - i - 1), &looks);
            if (looks) {
                i = e + 1;
                push(TokenKind::DateLiteral, b, i);
            } else {
                ++i;
                push(TokenKind::Punct, b, i);
            }
        } else {
            ++i;
            push(TokenKind::Punct, b, i);
        }
    }
    return out;
}

bool isKeyword(const QString& sql, const Token& t, const char* keyword) {
    if (t.kind != TokenKind::Word) return false;
    return QStringView(sql).mid(t.begin, t.end - t.begin).compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

QString unquoteName(const QString& sql, const Token& t) {
    QString text = t.text(sql);
    if (t.kind != TokenKind::Quoted || text.size() < 2) return text;
    const QChar open = text.front();
    QString inner = text.mid(1, text.size() - 2);
    if (open == u'[') return inner;
    return inner.replace(QString(2, open), QString(open));
}

namespace {
QString enclosed(const QString& text, QChar quote) {
    QString q = text;
    q.replace(quote, QString(2, quote));
    return quote + q + quote;
}
}  // namespace

QString quoteName(const QString& name) { return enclosed(name, u'"'); }

QString quoteText(const QString& text) { return enclosed(text, u'\''); }

QString singleStatement(const QString& sql) {
    const auto toks = tokenize(sql);
    const auto sig = significant(sql, toks);
    if (!sig.empty() && isKeyword(sql, sig[0].tok, "PARAMETERS")) throw parametersRefused();
    // A trigger's body holds semicolons of its own, up to its END.
    bool trigger = !sig.empty() && isKeyword(sql, sig[0].tok, "CREATE");
    if (trigger) {
        trigger = false;
        for (size_t k = 1; k < sig.size() && k < 6; ++k)
            if (isKeyword(sql, sig[k].tok, "TRIGGER")) trigger = true;
    }
    int endPos = sql.size();
    size_t k = 0;
    bool seenEnd = !trigger;
    for (; k < sig.size(); ++k) {
        const Token& t = sig[k].tok;
        if (trigger && isKeyword(sql, t, "END")) seenEnd = true;
        if (t.kind == TokenKind::Punct && sql[t.begin] == u';' && seenEnd) {
            endPos = t.begin;
            break;
        }
    }
    for (; k < sig.size(); ++k) {
        const Token& t = sig[k].tok;
        if (!(t.kind == TokenKind::Punct && sql[t.begin] == u';')) throw Error(err::CharactersAfterEnd);
    }
    QString first = sql.left(endPos);
    while (!first.isEmpty() && first.back().isSpace()) first.chop(1);
    // Drop a trailing comment so nothing dangles after the statement.
    const auto rest = tokenize(first);
    int cut = first.size();
    for (auto it = rest.rbegin(); it != rest.rend() && it->kind == TokenKind::Space; ++it) cut = it->begin;
    return first.left(cut);
}

Translated translate(const QString& sql, Storage storage) {
    const QString out = rewriteDialect(sql, storage);
    Translated result;
    result.sql = out;
    // Make-table: SELECT list INTO name FROM ...
    bool into = false;
    for (qsizetype i = 0; i + 4 <= out.size() && !into; ++i)
        into = (out[i].unicode() | 0x20) == 'i' && (out[i + 1].unicode() | 0x20) == 'n' &&
               (out[i + 2].unicode() | 0x20) == 't' && (out[i + 3].unicode() | 0x20) == 'o';
    if (!into) return result;
    const auto toks2 = tokenize(out);
    const auto sig = significant(out, toks2);
    if (sig.empty() || !isKeyword(out, sig[0].tok, "SELECT")) return result;
    for (size_t k = 1; k < sig.size(); ++k) {
        if (sig[k].depth != 0 || !isKeyword(out, sig[k].tok, "INTO")) continue;
        if (k + 1 >= sig.size()) throw Error(err::SyntaxError, QStringLiteral("Syntax error: a table name must follow INTO."));
        size_t last = k + 1;
        const Token nameTok0 = sig[last].tok;
        if (nameTok0.kind != TokenKind::Word && nameTok0.kind != TokenKind::Quoted)
            throw Error(err::SyntaxError, QStringLiteral("Syntax error: a table name must follow INTO."));
        if (last + 2 < sig.size() && sig[last + 1].tok.kind == TokenKind::Punct && out[sig[last + 1].tok.begin] == u'.')
            last += 2;
        const Token& nameTok = sig[last].tok;
        result.makeTable = unquoteName(out, nameTok);
        const QString target = out.mid(nameTok0.begin, nameTok.end - nameTok0.begin);
        result.sql = QStringLiteral("CREATE TABLE ") + target + QStringLiteral(" AS ") +
                     out.left(sig[k].tok.begin) + out.mid(nameTok.end);
        break;
    }
    return result;
}

Error explainMissingField(const Error& e, const QString& sql) {
    if (e.Number() != err::TooFewParameters) return e;
    static const QRegularExpression named(QStringLiteral("there is no field named '(?:[^.']*\\.)?(.*)'\\.$"));
    const auto m = named.match(e.Description());
    if (!m.hasMatch()) return e;
    for (const Token& t : tokenize(sql)) {
        if (t.kind != TokenKind::Quoted || sql[t.begin] != u'[') continue;
        const QString name = unquoteName(sql, t);
        if (name.compare(m.captured(1), Qt::CaseInsensitive) != 0) continue;
        return Error(err::TooFewParameters,
                     QStringLiteral("Too few parameters. Expected 1: [%1] is not a field of the tables in the "
                                    "statement. If it is a question to be asked when the query runs (a "
                                    "parameter), Pacebook does not ask: write the value itself, for example "
                                    "#2024-05-31#, 45 or 'Long'. Otherwise correct the field's name.")
                         .arg(name));
    }
    return e;
}

SelectShape selectShape(const QString& sql) {
    SelectShape shape;
    const auto toks = tokenize(sql);
    const auto sig = significant(sql, toks);
    if (sig.empty() || !isKeyword(sql, sig[0].tok, "SELECT")) return shape;
    if (sig.size() > 1 && isKeyword(sql, sig[1].tok, "DISTINCT")) return shape;
    int fromIdx = -1, whereIdx = -1, orderIdx = -1, limitIdx = -1;
    for (size_t k = 1; k < sig.size(); ++k) {
        if (sig[k].depth != 0) continue;
        const Token& t = sig[k].tok;
        for (const char* bad : {"GROUP", "HAVING", "WINDOW", "UNION", "INTERSECT", "EXCEPT", "VALUES", "INTO"})
            if (isKeyword(sql, t, bad)) return shape;
        const int ki = int(k);
        if (fromIdx < 0 && isKeyword(sql, t, "FROM")) fromIdx = ki;
        else if (fromIdx >= 0 && whereIdx < 0 && orderIdx < 0 && limitIdx < 0 && isKeyword(sql, t, "WHERE")) whereIdx = ki;
        else if (fromIdx >= 0 && orderIdx < 0 && limitIdx < 0 && isKeyword(sql, t, "ORDER")) orderIdx = ki;
        else if (fromIdx >= 0 && limitIdx < 0 && isKeyword(sql, t, "LIMIT")) limitIdx = ki;
    }
    if (fromIdx < 0) return shape;
    int fromEnd = int(sig.size());
    for (int idx : {whereIdx, orderIdx, limitIdx})
        if (idx >= 0) fromEnd = std::min(fromEnd, idx);
    // The FROM clause: [schema.]name [[AS] alias], nothing more.
    std::vector<Token> from;
    for (int k = fromIdx + 1; k < fromEnd; ++k) from.push_back(sig[k].tok);
    if (from.empty()) return shape;
    auto isName = [&](const Token& t) { return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted; };
    size_t p = 0;
    if (!isName(from[p])) return shape;
    size_t nameEnd = p;
    if (from.size() >= 3 && from[1].kind == TokenKind::Punct && sql[from[1].begin] == u'.' && isName(from[2])) nameEnd = 2;
    p = nameEnd + 1;
    if (p < from.size() && isKeyword(sql, from[p], "AS")) ++p;
    if (p < from.size()) {
        const Token& alias = from[p];
        if (!isName(alias)) return shape;
        for (const char* kw : {"JOIN", "NATURAL", "LEFT", "RIGHT", "FULL", "INNER", "CROSS", "OUTER", "INDEXED", "NOT", "ON", "USING"})
            if (isKeyword(sql, alias, kw)) return shape;
        ++p;
    }
    if (p != from.size()) return shape;

    auto textBetween = [&](int a, int b) {  // from token a to before token b (or the end)
        const int begin = sig[a].tok.begin;
        const int end = b < int(sig.size()) ? sig[b].tok.begin : sql.size();
        return sql.mid(begin, end - begin).trimmed();
    };
    shape.table = unquoteName(sql, from[nameEnd]);
    shape.selectList = textBetween(1, fromIdx);
    if (sig.size() > 1 && isKeyword(sql, sig[1].tok, "ALL")) shape.selectList = textBetween(2, fromIdx);
    shape.fromClause = textBetween(fromIdx + 1, fromEnd);
    auto nextAfter = [&](int idx) {
        int e = int(sig.size());
        for (int other : {whereIdx, orderIdx, limitIdx})
            if (other > idx) e = std::min(e, other);
        return e;
    };
    if (whereIdx >= 0) shape.where = textBetween(whereIdx, nextAfter(whereIdx));
    if (orderIdx >= 0) shape.orderBy = textBetween(orderIdx, nextAfter(orderIdx));
    if (limitIdx >= 0) shape.limit = textBetween(limitIdx, int(sig.size()));
    shape.plainTable = !shape.selectList.isEmpty();
    return shape;
}

QString firstKeyword(const QString& sql) {
    for (const Token& t : tokenize(sql)) {
        if (t.kind == TokenKind::Space) continue;
        return t.kind == TokenKind::Word ? t.text(sql).toUpper() : QString();
    }
    return {};
}

QString bareTableName(const QString& source) {
    const auto toks = tokenize(source);
    const auto sig = significant(source, toks);
    if (sig.size() != 1) return {};
    const Token& t = sig[0].tok;
    if (t.kind != TokenKind::Word && t.kind != TokenKind::Quoted) return {};
    if (t.kind == TokenKind::Word && isKeyword(source, t, "SELECT")) return {};
    return unquoteName(source, t);
}

}  // namespace dao::sql
