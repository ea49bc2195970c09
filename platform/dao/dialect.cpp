// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialect.h"

#include "errors.h"
#include "sqltext.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dao::sql {

namespace {

// What an expression holds, as far as its text tells.
enum class Kind { Unknown, Number, Text, Date };

struct Expr {
    int first = -1;  // significant tokens, inclusive
    int last = -1;
    Kind kind = Kind::Unknown;
    bool collated = false;   // carries a COLLATE of its own
    bool literal = false;    // one string literal
    bool column = false;     // a column reference
    bool textField = false;  // text of the log or of a text function, not a literal
    bool truth = false;      // the word True or False
    bool valid() const { return first >= 0; }
};

// A function the dialect knows: what it returns, and whether it is
// Pacebook's own (unknown to other programs that read the log).
struct FunctionInfo {
    enum Result { Fixed, FirstArgument, SecondArgument } result = Fixed;
    Kind kind = Kind::Unknown;
    bool own = false;
    const char* plain = nullptr;  // the plain SQLite to write instead
};

const QHash<QString, FunctionInfo>& knownFunctions() {
    using F = FunctionInfo;
    static const QHash<QString, FunctionInfo> table = {
        {"year", {F::Fixed, Kind::Number, true, "CAST(strftime('%Y', Date) AS INTEGER)"}},
        {"month", {F::Fixed, Kind::Number, true, "CAST(strftime('%m', Date) AS INTEGER)"}},
        {"day", {F::Fixed, Kind::Number, true, "CAST(strftime('%d', Date) AS INTEGER)"}},
        {"weekday", {F::Fixed, Kind::Number, true, "CAST(strftime('%w', Date) AS INTEGER) + 1"}},
        {"datepart", {F::Fixed, Kind::Number, true, "strftime()"}},
        {"datediff", {F::Fixed, Kind::Number, true, "julianday(b) - julianday(a)"}},
        {"dateadd", {F::Fixed, Kind::Date, true, "date(Date, '+7 days')"}},
        {"dateserial", {F::Fixed, Kind::Date, true, "printf('%04d-%02d-%02d', y, m, d)"}},
        {"now", {F::Fixed, Kind::Date, true, "datetime('now', 'localtime')"}},
        {"len", {F::Fixed, Kind::Number, true, "length(x)"}},
        {"left", {F::Fixed, Kind::Text, true, "substr(x, 1, n)"}},
        {"right", {F::Fixed, Kind::Text, true, "substr(x, -n)"}},
        {"mid", {F::Fixed, Kind::Text, true, "substr(x, start, length)"}},
        {"ucase", {F::Fixed, Kind::Text, true, "upper(x)"}},
        {"lcase", {F::Fixed, Kind::Text, true, "lower(x)"}},
        {"nz", {F::FirstArgument, Kind::Unknown, true, "ifnull(x, y)"}},
        {"isnull", {F::Fixed, Kind::Number, true, "x IS NULL"}},
        {"int", {F::Fixed, Kind::Number, true, "CAST(x AS INTEGER)"}},
        {"fix", {F::Fixed, Kind::Number, true, "CAST(x AS INTEGER)"}},
        {"val", {F::Fixed, Kind::Number, true, "CAST(x AS REAL)"}},
        {"cstr", {F::Fixed, Kind::Text, true, "CAST(x AS TEXT)"}},
        {"cint", {F::Fixed, Kind::Number, true, "CAST(round(x) AS INTEGER)"}},
        {"clng", {F::Fixed, Kind::Number, true, "CAST(round(x) AS INTEGER)"}},
        {"cdbl", {F::Fixed, Kind::Number, true, "CAST(x AS REAL)"}},
        // SQLite's own; date(), time(), format(x, pattern) and instr() with
        // other than two arguments are Pacebook's (see ownCall).
        {"date", {F::Fixed, Kind::Text, false, "date('now', 'localtime')"}},
        {"time", {F::Fixed, Kind::Text, false, "time('now', 'localtime')"}},
        {"format", {F::Fixed, Kind::Text, false, "strftime('%Y-%m', Date) or printf()"}},
        {"instr", {F::Fixed, Kind::Number, false, "instr(x, y)"}},
        {"upper", {F::Fixed, Kind::Text}},       {"lower", {F::Fixed, Kind::Text}},
        {"substr", {F::Fixed, Kind::Text}},      {"substring", {F::Fixed, Kind::Text}},
        {"trim", {F::Fixed, Kind::Text}},        {"ltrim", {F::Fixed, Kind::Text}},
        {"rtrim", {F::Fixed, Kind::Text}},       {"replace", {F::Fixed, Kind::Text}},
        {"printf", {F::Fixed, Kind::Text}},      {"group_concat", {F::Fixed, Kind::Text}},
        {"length", {F::Fixed, Kind::Number}},    {"count", {F::Fixed, Kind::Number}},
        {"sum", {F::Fixed, Kind::Number}},       {"total", {F::Fixed, Kind::Number}},
        {"avg", {F::Fixed, Kind::Number}},       {"abs", {F::Fixed, Kind::Number}},
        {"round", {F::Fixed, Kind::Number}},     {"julianday", {F::Fixed, Kind::Number}},
        {"min", {F::FirstArgument}},             {"max", {F::FirstArgument}},
        {"coalesce", {F::FirstArgument}},        {"ifnull", {F::FirstArgument}},
        {"nullif", {F::FirstArgument}},          {"iif", {F::SecondArgument}},
    };
    return table;
}

bool ownCall(const QString& name, const FunctionInfo& info, int arguments) {
    if (info.own) return true;
    if (name == QLatin1String("date") || name == QLatin1String("time")) return arguments == 0;
    if (name == QLatin1String("format")) return arguments == 2;
    if (name == QLatin1String("instr")) return arguments != 2;
    return false;
}

struct Keyword {
    QString text;  // upper-cased
    bool clause;   // ends an expression or begins a clause: never a name here
};

// The words the rewriting looks at, by their upper-cased spelling.
const Keyword* keywordOf(QStringView word) {
    static const auto table = [] {
        std::unordered_map<std::string, Keyword> t;
        for (const char* k : {"SELECT", "FROM", "WHERE", "GROUP", "ORDER", "BY", "HAVING", "LIMIT", "OFFSET", "UNION", "INTERSECT",
              "EXCEPT", "AS", "ON", "USING", "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "NATURAL", "OUTER",
              "THEN", "WHEN", "ELSE", "END", "ASC", "DESC", "NULLS", "SET", "VALUES", "RETURNING", "WINDOW",
              "FILTER", "OVER", "INTO", "DO", "UPDATE", "DELETE", "INSERT", "REPLACE", "WITH", "RECURSIVE",
              "ESCAPE", "ROWS", "RANGE", "GROUPS", "PARTITION", "UNBOUNDED", "PRECEDING", "FOLLOWING", "CURRENT",
              "EXCLUDE", "TIES", "OTHERS", "IS", "IN", "LIKE", "GLOB", "MATCH", "REGEXP", "BETWEEN", "ISNULL",
              "NOTNULL", "AND", "OR", "COLLATE", "DISTINCT", "DISTINCTROW", "ALL", "CREATE", "TABLE", "VIEW",
              "TRIGGER", "INDEX", "DEFAULT", "PRIMARY", "KEY", "UNIQUE", "CHECK", "CONSTRAINT", "REFERENCES",
              "FOREIGN", "INDEXED", "CONFLICT", "ABORT", "FAIL", "IGNORE", "ROLLBACK", "BEGIN", "COMMIT",
              "TRANSACTION", "DEFERRED", "IMMEDIATE", "EXCLUSIVE", "FOR", "EACH", "ROW", "INSTEAD", "OF", "BEFORE",
              "AFTER", "IF", "TEMP", "TEMPORARY", "VIRTUAL", "ALTER", "ADD", "COLUMN", "RENAME", "TO", "DROP",
              "PRAGMA", "EXPLAIN", "QUERY", "PLAN", "ANALYZE", "VACUUM", "REINDEX", "ATTACH", "DETACH", "DATABASE",
              "MATERIALIZED", "GENERATED", "ALWAYS", "STORED", "WITHOUT", "NOTHING", "SAVEPOINT", "RELEASE",
              "AUTOINCREMENT", "DEFERRABLE", "INITIALLY", "RESTRICT", "CASCADE"})
            t.emplace(k, Keyword{QString::fromLatin1(k), true});
        for (const char* k : {"TRANSFORM", "PIVOT", "PARAMETERS", "TOP", "PERCENT", "NOT", "NULL", "TRUE", "FALSE",
                              "CASE", "EXISTS", "CAST", "MOD", "TEXT", "INTEGER", "REAL", "NUMERIC", "INT", "FLOAT",
                              "DOUBLE"})
            t.emplace(k, Keyword{QString::fromLatin1(k), false});
        return t;
    }();
    if (word.size() > 16) return nullptr;
    char upper[17];
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t c = word[i].unicode();
        if (c > 127) return nullptr;
        upper[i] = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    const auto it = table.find(std::string(upper, size_t(word.size())));
    return it == table.end() ? nullptr : &it->second;
}

// Keywords that SQLite reads as a function when "(" follows.
bool callableKeyword(const QString& upper) {
    static const QSet<QString> words = {"LEFT", "RIGHT", "REPLACE", "LIKE", "GLOB", "MATCH", "REGEXP", "ISNULL"};
    return words.contains(upper);
}

// Statements the dialect leaves as they are.
bool passesThrough(const QString& firstWord) {
    static const QSet<QString> words = {"PRAGMA", "ATTACH", "DETACH", "VACUUM", "ANALYZE", "REINDEX", "BEGIN",
                                        "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE"};
    return words.contains(firstWord);
}

// The day between #...# as ISO text: #2024-05-31#, or US #5/31/2024#.
QString isoDateLiteral(const QString& token) {
    const QDate d = dateLiteralDay(token);
    if (!d.isValid())
        throw Error(err::SyntaxError, QStringLiteral("Syntax error in date in query expression '%1'.").arg(token));
    return quoteText(d.toString(Qt::ISODate));
}

[[noreturn]] void refuseStored(const QString& what, const char* plain) {
    throw Error(err::Refused,
                QStringLiteral("A view, trigger, index or table definition is kept in the log, where other "
                               "programs read it too, so it is written in SQLite's own terms; %1 is Pacebook's "
                               "own. Write %2 instead.")
                    .arg(what, QString::fromLatin1(plain)));
}

class Rewriter {
public:
    Rewriter(const QString& sql, Storage storage) : s_(sql), storage_(storage), all_(tokenize(sql)) {
        for (int i = 0; i < int(all_.size()); ++i)
            if (all_[size_t(i)].kind != TokenKind::Space) sig_.push_back(i);
        n_ = int(sig_.size());
        edits_.resize(size_t(n_));
        // Each token's keyword and operator, worked out once.
        words_.assign(size_t(n_), nullptr);
        for (int k = 0; k < n_; ++k)
            if (tok(k).kind == TokenKind::Word) words_[size_t(k)] = keywordOf(view(k));
        ops_.resize(size_t(n_));
        for (int k = 0; k < n_; ++k) ops_[size_t(k)] = readOperator(k);
    }

    QString run() {
        if (n_ == 0) return s_;
        const QString first = word(0);
        if (first == QLatin1String("TRANSFORM") || hasWordAtTop("PIVOT"))
            throw Error(err::Refused,
                        QStringLiteral("A crosstab query (TRANSFORM ... PIVOT) cannot run here. Write one row "
                                       "per group and one column per value with GROUP BY, for example: select "
                                       "Type, sum(iif(Year([Date]) = 2024, [Time], 0)) as [2024], "
                                       "sum(iif(Year([Date]) = 2023, [Time], 0)) as [2023] from runlog group by "
                                       "Type"));
        if (first == QLatin1String("PARAMETERS")) throw parametersRefused();
        if (passesThrough(first)) return s_;
        if (storage_ == Storage::Run && definesStoredText()) storage_ = Storage::Stored;
        parseSequence();
        while (p_ < n_) {  // a stray ")" ends no group here
            ++p_;
            parseSequence();
        }
        if (!edited_) return s_;
        const Token& head = tok(0);
        const Token& tail = tok(n_ - 1);
        return s_.left(head.begin) + emitRange(0, n_ - 1) + s_.mid(tail.end);
    }

private:
    // Text inserted around a token. A piece may repeat a range of the
    // rewritten statement (TOP n PERCENT counts the rows of its select).
    struct Piece {
        QString text;
        int from = -1, to = -1, cut = -1;
        QString tail = {};
    };
    struct Edit {
        std::vector<Piece> before;
        std::optional<QString> replace;
        std::vector<Piece> after;
    };
    // The select being read at one level, while it has a TOP.
    struct Top {
        int select = 0;
        QString rows;
        bool percent = false;
        int order = -1;  // its ORDER BY
        bool limit = false;
    };

    const Token& tok(int k) const { return all_[size_t(sig_[size_t(k)])]; }
    QStringView view(int k) const { return QStringView(s_).mid(tok(k).begin, tok(k).end - tok(k).begin); }
    // The keyword at k, upper-cased ("" for any other token).
    const QString& word(int k) const {
        static const QString none;
        return k >= 0 && k < n_ && words_[size_t(k)] ? words_[size_t(k)]->text : none;
    }
    bool isWord(int k, const char* upperWord) const { return k < n_ && word(k) == QLatin1String(upperWord); }
    bool isClause(int k) const { return k < n_ && words_[size_t(k)] && words_[size_t(k)]->clause; }
    bool isPunct(int k, char c) const {
        return k < n_ && tok(k).kind == TokenKind::Punct && s_[tok(k).begin] == QLatin1Char(c);
    }
    bool adjacent(int k) const { return k + 1 < n_ && tok(k).end == tok(k + 1).begin; }
    bool isName(int k) const {
        if (k >= n_) return false;
        if (tok(k).kind == TokenKind::Quoted) return true;
        return tok(k).kind == TokenKind::Word && !isClause(k);
    }
    QString collation() const {
        return storage_ == Storage::Stored ? QStringLiteral("NOCASE") : QString::fromLatin1(kTextCollation);
    }

    bool hasWordAtTop(const char* w) const {
        int depth = 0;
        for (int k = 0; k < n_; ++k) {
            if (isPunct(k, '(')) ++depth;
            else if (isPunct(k, ')')) --depth;
            else if (depth == 0 && isWord(k, w)) return true;
        }
        return false;
    }

    // CREATE VIEW / TRIGGER / INDEX / TABLE (not ... AS SELECT), ALTER TABLE.
    bool definesStoredText() const {
        if (word(0) == QLatin1String("ALTER")) return true;
        if (word(0) != QLatin1String("CREATE")) return false;
        for (int k = 1; k < n_ && k < 4; ++k) {
            const QString w = word(k);
            if (w == QLatin1String("VIEW") || w == QLatin1String("TRIGGER") || w == QLatin1String("INDEX"))
                return true;
            if (w == QLatin1String("TABLE")) return !hasWordAtTop("AS");
        }
        return false;
    }

    // ---- edits

    void replace(int k, const QString& text) {
        edits_[size_t(k)].replace = text;
        edited_ = true;
    }
    // Outer expressions are finished after the inner ones, so text put
    // before a token goes in front of what is there already.
    void prepend(int k, const QString& text) {
        auto& b = edits_[size_t(k)].before;
        b.insert(b.begin(), Piece{text});
        edited_ = true;
    }
    void append(int k, Piece piece) {
        edits_[size_t(k)].after.push_back(std::move(piece));
        edited_ = true;
    }
    void append(int k, const QString& text) { append(k, Piece{text}); }

    QString emitPiece(const Piece& piece) const {
        if (piece.from < 0) return piece.text;
        return piece.text + emitRange(piece.from, piece.to, piece.cut) + piece.tail;
    }
    // The rewritten text of significant tokens from..to; cut limits the
    // pieces after the last one.
    QString emitRange(int from, int to, int cut = -1) const {
        QString out;
        out.reserve(tok(to).end - tok(from).begin + 64);
        int copied = tok(from).begin;  // text up to here is in out
        for (int k = from; k <= to; ++k) {
            const Edit& e = edits_[size_t(k)];
            const size_t after = k == to && cut >= 0 ? size_t(cut) : e.after.size();
            if (e.before.empty() && !e.replace && after == 0) continue;
            out += QStringView(s_).mid(copied, tok(k).begin - copied);
            for (const Piece& p : e.before) out += emitPiece(p);
            if (e.replace) out += *e.replace;
            else out += view(k);
            for (size_t i = 0; i < after; ++i) out += emitPiece(e.after[i]);
            copied = tok(k).end;
        }
        out += QStringView(s_).mid(copied, tok(to).end - copied);
        return out;
    }

    // a OP b as fn(a, b).
    void callAround(const Expr& a, int op, int opTokens, const Expr& b, const char* fn) {
        prepend(a.first, QString::fromLatin1(fn) + u'(');
        replace(op, QStringLiteral(","));
        for (int i = 1; i < opTokens; ++i) replace(op + i, QString());
        append(b.last, QStringLiteral(")"));
    }
    void collate(const Expr& e) {
        if (e.first != e.last) {
            prepend(e.first, QStringLiteral("("));
            append(e.last, QStringLiteral(") COLLATE ") + collation());
        } else {
            append(e.last, QStringLiteral(" COLLATE ") + collation());
        }
    }

    // ---- statements and lists

    struct Sequence {
        std::vector<Expr> items;
        bool single = false;
    };

    // Reads clauses and expressions up to a ")" at this level (not taken).
    Sequence parseSequence() {
        Sequence seq;
        int others = 0;
        std::optional<Top> top;
        enum class Mode { Plain, SortTerms, Limit, Assignments } mode = Mode::Plain;
        while (p_ < n_ && !isPunct(p_, ')')) {
            if (isPunct(p_, ',') || isPunct(p_, ';')) {
                if (isPunct(p_, ';')) endTop(top, p_ - 1, false);
                ++others;
                ++p_;
                continue;
            }
            const QString& w = word(p_);
            if (isClause(p_) && !(callableKeyword(w) && isPunct(p_ + 1, '('))) {
                ++others;
                if (w == QLatin1String("SELECT")) {
                    endTop(top, p_ - 1, false);
                    top = selectStart();
                    mode = Mode::Plain;
                    continue;
                }
                if (w == QLatin1String("UNION") || w == QLatin1String("INTERSECT") || w == QLatin1String("EXCEPT")) {
                    endTop(top, p_ - 1, true);
                } else if ((w == QLatin1String("ORDER") || w == QLatin1String("GROUP") ||
                            w == QLatin1String("PARTITION")) &&
                           isWord(p_ + 1, "BY")) {
                    if (top && w == QLatin1String("ORDER")) top->order = p_;
                    p_ += 2;
                    mode = Mode::SortTerms;
                    continue;
                } else if (w == QLatin1String("LIMIT") || w == QLatin1String("OFFSET")) {
                    if (top) top->limit = true;
                    mode = Mode::Limit;
                    ++p_;
                    continue;
                } else if (w == QLatin1String("SET")) {
                    mode = Mode::Assignments;
                    ++p_;
                    continue;
                } else if (w == QLatin1String("DELETE")) {
                    deleteStar();
                }
                const bool sortWord = w == QLatin1String("ASC") || w == QLatin1String("DESC") ||
                                      w == QLatin1String("NULLS");
                if (!(mode == Mode::SortTerms && sortWord)) mode = Mode::Plain;
                ++p_;
                continue;
            }
            if (mode == Mode::Assignments) {
                const int at = p_;
                parseAssignment();
                if (p_ == at) ++p_;  // not an assignment; SQLite says so
                ++others;
                continue;
            }
            const bool outerLimit = inLimit_;
            inLimit_ = mode == Mode::Limit;
            const Expr e = parseExpr(0);
            inLimit_ = outerLimit;
            if (!e.valid()) {
                ++p_;  // a token no expression starts with; SQLite reports it
                ++others;
                continue;
            }
            if (mode == Mode::SortTerms && e.kind == Kind::Text && e.textField && !e.collated) collate(e);
            seq.items.push_back(e);
        }
        endTop(top, p_ - 1, false);
        seq.single = seq.items.size() == 1 && others == 0;
        return seq;
    }

    // SELECT [DISTINCT | ALL | DISTINCTROW] [TOP n [PERCENT]]
    std::optional<Top> selectStart() {
        const int select = p_++;
        if (isWord(p_, "DISTINCTROW")) {
            // Rows of one table are distinct already; with a join the
            // desktop engine keeps every distinct row of the tables, as a
            // plain SELECT does.
            replace(p_, QString());
            ++p_;
        } else if (isWord(p_, "DISTINCT") || isWord(p_, "ALL")) {
            ++p_;
        }
        if (!isWord(p_, "TOP") || p_ + 1 >= n_ || tok(p_ + 1).kind != TokenKind::Number) return std::nullopt;
        Top top;
        top.select = select;
        top.rows = view(p_ + 1).toString();
        bool whole = false;
        const double rows = top.rows.toDouble(&whole);
        if (!whole || rows < 0)
            throw Error(err::SyntaxError, QStringLiteral("TOP takes a number of rows, as in SELECT TOP 5 * FROM "
                                                         "runlog, or a share, as in SELECT TOP 10 PERCENT ..."));
        replace(p_, QString());
        replace(p_ + 1, QString());
        p_ += 2;
        if (isWord(p_, "PERCENT")) {
            top.percent = true;
            replace(p_, QString());
            ++p_;
        }
        if (!top.percent && top.rows.contains(u'.'))
            throw Error(err::SyntaxError, QStringLiteral("TOP takes a whole number of rows: TOP %1 has a fraction.")
                                              .arg(top.rows));
        return top;
    }

    // TOP n becomes LIMIT n at the end of its select; in a compound select
    // the select becomes a subquery of its own, so that the limit is its.
    void endTop(std::optional<Top>& top, int last, bool compound) {
        if (!top) return;
        const Top t = *top;
        top.reset();
        if (t.limit)
            throw Error(err::SyntaxError,
                        QStringLiteral("A statement with TOP has no LIMIT of its own: write one or the other."));
        Piece limit{QStringLiteral(" LIMIT ") + t.rows};
        if (t.percent) {
            // The share of the rows the select gives, rounded up.
            const int countTo = t.order >= 0 ? t.order - 1 : last;
            limit = Piece{QStringLiteral(" LIMIT (SELECT CAST((count(*) * %1 + 99.999999) / 100 AS INTEGER) FROM (")
                              .arg(t.rows),
                          t.select, countTo, countTo == last ? int(edits_[size_t(last)].after.size()) : -1,
                          QStringLiteral("))")};
        }
        if (compound) {
            prepend(t.select, QStringLiteral("SELECT * FROM ("));
            limit.tail += u')';
            if (limit.from < 0) limit.text += u')';
        }
        append(last, std::move(limit));
    }

    // DELETE * FROM / DELETE runlog.* FROM: the * goes.
    void deleteStar() {
        const int k = p_ + 1;
        if (isPunct(k, '*') && isWord(k + 1, "FROM")) {
            replace(k, QString());
        } else if (isName(k) && isPunct(k + 1, '.') && isPunct(k + 2, '*') && isWord(k + 3, "FROM")) {
            for (int i = k; i <= k + 2; ++i) replace(i, QString());
        }
    }

    // name = value (or (a, b) = (...)) in a SET list.
    void parseAssignment() {
        if (isPunct(p_, '(')) parseGroup();
        else if (isName(p_)) parseName();
        if (isPunct(p_, '=')) {
            ++p_;
            parseExpr(0);
        }
    }

    // "(" ... ")": a subquery, a list or one expression.
    Sequence parseGroup(int* close = nullptr) {
        ++p_;
        if (++depth_ > kMaxDepth)
            throw Error(err::SyntaxError, QStringLiteral("The statement is nested too deeply to be read (more than "
                                                         "%1 parentheses inside each other).")
                                              .arg(kMaxDepth));
        Sequence seq = parseSequence();
        --depth_;
        if (close) *close = p_ < n_ ? p_ : n_ - 1;
        if (p_ < n_) ++p_;
        return seq;
    }

    // ---- expressions

    enum class Op {
        None, Or, And, Equal, NotEqual, Is, In, Like, Glob, Match, Regexp, Between, IsNull, NotNull, Not,
        Less, LessEqual, Greater, GreaterEqual, Ampersand, BitOr, ShiftLeft, ShiftRight, Plus, Minus, Mod,
        Backslash, Times, Slash, Percent, Concat, Arrow, Collate,
    };
    // The operator at k, how many tokens it takes, and how tightly it binds:
    // SQLite's order, with the desktop engine's & below + and -, and its Mod
    // and \ between + and *.
    struct Operator {
        Op op = Op::None;
        int tokens = 0;
        int precedence = 0;
    };
    const Operator& operatorAt(int k) const {
        static const Operator none;
        return k < n_ ? ops_[size_t(k)] : none;
    }
    Operator readOperator(int k) const {
        if (tok(k).kind == TokenKind::Word) {
            const QString& w = word(k);
            if (w.isEmpty()) return {};
            if (w == QLatin1String("NOT")) {
                // Only as NOT IN / LIKE / BETWEEN / NULL ...
                const QString& next = word(k + 1);
                for (const char* after : {"IN", "LIKE", "GLOB", "MATCH", "REGEXP", "BETWEEN", "NULL"})
                    if (next == QLatin1String(after)) return {Op::Not, 1, 4};
                return {};
            }
            static const struct {
                const char* word;
                Operator op;
            } words[] = {
                {"OR", {Op::Or, 1, 1}},         {"AND", {Op::And, 1, 2}},         {"IS", {Op::Is, 1, 4}},
                {"IN", {Op::In, 1, 4}},         {"LIKE", {Op::Like, 1, 4}},       {"GLOB", {Op::Glob, 1, 4}},
                {"MATCH", {Op::Match, 1, 4}},   {"REGEXP", {Op::Regexp, 1, 4}},   {"BETWEEN", {Op::Between, 1, 4}},
                {"ISNULL", {Op::IsNull, 1, 4}}, {"NOTNULL", {Op::NotNull, 1, 4}}, {"MOD", {Op::Mod, 1, 8}},
                {"COLLATE", {Op::Collate, 1, 12}},
            };
            for (const auto& entry : words)
                if (w == QLatin1String(entry.word)) return entry.op;
            return {};
        }
        if (tok(k).kind != TokenKind::Punct) return {};
        const char16_t c = s_[tok(k).begin].unicode();
        const char16_t d = adjacent(k) && tok(k + 1).kind == TokenKind::Punct ? s_[tok(k + 1).begin].unicode() : 0;
        auto two = [&](char a, char b) { return c == a && d == b; };
        if (two('-', '>')) return {Op::Arrow, adjacent(k + 1) && isPunct(k + 2, '>') ? 3 : 2, 11};
        if (two('<', '=')) return {Op::LessEqual, 2, 5};
        if (two('>', '=')) return {Op::GreaterEqual, 2, 5};
        if (two('<', '>') || two('!', '=')) return {Op::NotEqual, 2, 4};
        if (two('=', '=')) return {Op::Equal, 2, 4};
        if (two('|', '|')) return {Op::Concat, 2, 11};
        if (two('<', '<')) return {Op::ShiftLeft, 2, 6};
        if (two('>', '>')) return {Op::ShiftRight, 2, 6};
        switch (c) {
        case '=': return {Op::Equal, 1, 4};
        case '<': return {Op::Less, 1, 5};
        case '>': return {Op::Greater, 1, 5};
        case '&': return {Op::Ampersand, 1, 6};
        case '|': return {Op::BitOr, 1, 6};
        case '+': return {Op::Plus, 1, 7};
        case '-': return {Op::Minus, 1, 7};
        case '\\': return {Op::Backslash, 1, 9};
        case '*': return {Op::Times, 1, 10};
        case '/': return {Op::Slash, 1, 10};
        case '%': return {Op::Percent, 1, 10};
        default: return {};
        }
    }

    Expr parseExpr(int minPrecedence) {
        Expr lhs = parseUnary();
        if (!lhs.valid()) return lhs;
        for (;;) {
            const Operator& op = operatorAt(p_);
            if (op.precedence == 0 || op.precedence < minPrecedence) break;
            const int at = p_;
            const Expr next = parseBinary(lhs, op);
            if (p_ == at) break;  // nothing taken
            lhs = next;
        }
        return lhs;
    }

    static Expr truthValue(const Expr& from, int last) {
        Expr e;
        e.first = from.first;
        e.last = last;
        e.kind = Kind::Number;
        return e;
    }

    Expr parseBinary(const Expr& lhs, const Operator& o) {
        const int at = p_;
        Op op = o.op;
        if (op == Op::Collate) {
            p_ += isName(p_ + 1) ? 2 : 1;
            Expr e = lhs;
            e.last = p_ - 1;
            e.collated = true;
            e.literal = false;
            return e;
        }
        if (op == Op::IsNull || op == Op::NotNull) {
            ++p_;
            return truthValue(lhs, p_ - 1);
        }
        if (op == Op::Not) {  // NOT IN, NOT LIKE, ... read as IN, LIKE, ...
            ++p_;
            if (isWord(p_, "NULL")) {
                ++p_;
                return truthValue(lhs, p_ - 1);
            }
            op = operatorAt(p_).op;
        }
        if (op == Op::Is) {
            ++p_;
            if (isWord(p_, "NOT")) ++p_;
            if (isWord(p_, "DISTINCT") && isWord(p_ + 1, "FROM")) p_ += 2;
            if (isWord(p_, "TRUE") || isWord(p_, "FALSE")) {  // SQLite's IS TRUE stays
                ++p_;
                return truthValue(lhs, p_ - 1);
            }
            const Expr rhs = parseExpr(5);
            return truthValue(lhs, rhs.valid() ? rhs.last : p_ - 1);
        }
        if (op == Op::In) {
            ++p_;
            int last = p_ - 1;
            if (isPunct(p_, '(')) {
                const Sequence list = parseGroup(&last);
                if (lhs.kind == Kind::Date)
                    for (const Expr& item : list.items) checkDateText(item);
                if (lhs.kind == Kind::Text && lhs.textField && !lhs.collated) collate(lhs);
            } else if (isName(p_)) {
                const Expr table = parsePrimary();
                last = table.last;
            }
            return truthValue(lhs, last);
        }
        if (op == Op::Like || op == Op::Glob || op == Op::Match || op == Op::Regexp) {
            ++p_;
            const Expr pattern = parseExpr(5);
            if (op == Op::Like && storage_ == Storage::Stored && pattern.literal) checkStoredPattern(pattern);
            int last = pattern.valid() ? pattern.last : p_ - 1;
            if (isWord(p_, "ESCAPE")) {
                ++p_;
                const Expr escape = parseExpr(5);
                if (escape.valid()) last = escape.last;
            }
            return truthValue(lhs, last);
        }
        if (op == Op::Between) {
            ++p_;
            const Expr low = parseExpr(5);
            Expr high;
            if (isWord(p_, "AND")) {
                ++p_;
                high = parseExpr(5);
            }
            if (lhs.kind == Kind::Date) {
                checkDateText(low);
                checkDateText(high);
            }
            if (lhs.kind == Kind::Text && lhs.textField && !lhs.collated) collate(lhs);
            return truthValue(lhs, high.valid() ? high.last : (low.valid() ? low.last : p_ - 1));
        }

        const int tokens = o.tokens;
        p_ += tokens;
        // The right operand binds one level tighter: these associate left.
        const Expr rhs = parseExpr(o.precedence + 1);
        if (!rhs.valid()) return truthValue(lhs, p_ - 1);  // cut short: SQLite reports it
        Expr e;
        e.first = lhs.first;
        e.last = rhs.last;
        e.kind = Kind::Number;
        if (op == Op::And || op == Op::Or) return e;
        if (o.precedence == 4 || o.precedence == 5) {
            compare(lhs, at, o, rhs);
            return e;
        }
        if (op == Op::Ampersand) {
            if (storage_ == Storage::Stored) refuseStored(QStringLiteral("'&'"), "a || b (or coalesce(a, '') || b)");
            callAround(lhs, at, tokens, rhs, "pb_concat");
            e.kind = Kind::Text;
            e.textField = true;
        } else if (op == Op::Mod) {
            if (storage_ == Storage::Stored) refuseStored(QStringLiteral("Mod"), "a % b");
            callAround(lhs, at, tokens, rhs, "pb_mod");
        } else if (op == Op::Backslash) {
            if (storage_ == Storage::Stored) refuseStored(QStringLiteral("'\\'"), "CAST(a / b AS INTEGER)");
            callAround(lhs, at, tokens, rhs, "pb_intdiv");
        } else if (op == Op::Slash) {
            // Exact division; the inserted factor binds as / does, to the
            // whole left operand. A LIMIT takes whole numbers.
            if (!inLimit_) replace(at, QStringLiteral("* 1.0 /"));
        } else if (op == Op::Plus || op == Op::Minus) {
            const bool lDate = lhs.kind == Kind::Date, rDate = rhs.kind == Kind::Date;
            const bool text = lhs.kind == Kind::Text || rhs.kind == Kind::Text;
            if (op == Op::Plus && lDate != rDate && !text) {
                if (storage_ == Storage::Stored) refuseStored(QStringLiteral("a date plus days"), "date(Date, '+7 days')");
                callAround(lhs, at, tokens, rhs, "pb_dateplus");
                e.kind = Kind::Date;
            } else if (op == Op::Minus && lDate && !text) {
                if (storage_ == Storage::Stored)
                    refuseStored(QStringLiteral("a date minus days"), "date(Date, '-7 days') or julianday(a) - julianday(b)");
                callAround(lhs, at, tokens, rhs, "pb_dateminus");
                e.kind = rDate ? Kind::Number : Kind::Date;
            }
        } else if (op == Op::Concat) {
            e.kind = Kind::Text;
            e.textField = true;
        }
        return e;
    }

    // A comparison: True and False, a date written as text, a number
    // written as text, and text compared without regard to case.
    void compare(const Expr& lhs, int op, const Operator& o, const Expr& rhs) {
        const int tokens = o.tokens;
        const bool equality = o.op == Op::Equal || o.op == Op::NotEqual;
        if (equality && (lhs.truth || rhs.truth)) {
            // Comparisons give 1 where the desktop engine gives -1: any
            // value that is not 0 is true.
            const Expr& truth = lhs.truth ? lhs : rhs;
            const bool isTrue = isWord(truth.first, "TRUE");
            const bool equal = o.op == Op::Equal;
            replace(op, equal == isTrue ? QStringLiteral("<>") : QStringLiteral("="));
            for (int i = 1; i < tokens; ++i) replace(op + i, QString());
            replace(truth.first, QStringLiteral("0"));
            return;
        }
        if (lhs.kind == Kind::Date) checkDateText(rhs);
        if (rhs.kind == Kind::Date) checkDateText(lhs);
        numberFromText(lhs, rhs);
        numberFromText(rhs, lhs);
        const auto plainText = [](const Expr& e) { return e.kind == Kind::Text || e.kind == Kind::Unknown; };
        if (!lhs.collated && !rhs.collated && plainText(lhs) && plainText(rhs) && (lhs.textField || rhs.textField))
            collate(lhs);
    }

    // A number written as text, compared with a computed number (which has
    // no column affinity to convert it), is compared as a number.
    void numberFromText(const Expr& number, const Expr& text) {
        if (number.kind != Kind::Number || number.column || !text.literal) return;
        const QString value = unquoteString(text.first).trimmed();
        bool ok = false;
        value.toDouble(&ok);
        static const QRegularExpression plain(QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
        if (ok && plain.match(value).hasMatch()) replace(text.first, value);
    }

    QString unquoteString(int k) const {
        QString inner = view(k).mid(1, view(k).size() - 2).toString();
        return inner.replace(QStringLiteral("''"), QStringLiteral("'"));
    }

    // Dates are kept as 2024-05-31 text: text in another form compared
    // with a date would match nothing.
    void checkDateText(const Expr& e) const {
        if (!e.valid() || !e.literal) return;
        const QString text = unquoteString(e.first);
        static const QRegularExpression iso(
            QStringLiteral("^\\d{4}-\\d{2}-\\d{2}([ T]\\d{2}:\\d{2}(:\\d{2}(\\.\\d+)?)?)?$"));
        if (iso.match(text).hasMatch()) return;
        static const QRegularExpression us(QStringLiteral("^\\s*(\\d{1,2})[/.-](\\d{1,2})[/.-](\\d{2}|\\d{4})\\s*$"));
        static const QRegularExpression loose(QStringLiteral("^\\s*(\\d{4})[/.-](\\d{1,2})[/.-](\\d{1,2})\\s*$"));
        QDate d;
        if (const auto m = us.match(text); m.hasMatch()) {
            // Month first, as the desktop engine reads it; day first when
            // that is no day.
            d = monthDayYear(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3));
            if (!d.isValid()) d = monthDayYear(m.captured(2).toInt(), m.captured(1).toInt(), m.captured(3));
        } else if (const auto m = loose.match(text); m.hasMatch()) {
            d = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        } else {
            return;
        }
        const QString iso8601 = d.isValid() ? d.toString(Qt::ISODate) : QStringLiteral("YYYY-MM-DD");
        throw Error(err::CriteriaMismatch,
                    QStringLiteral("'%1' is a date written as text in another form than the log keeps dates "
                                   "(text like 2024-05-31), so compared with a date it would match nothing. Write "
                                   "it as '%2' or #%2#.")
                        .arg(text.trimmed(), iso8601));
    }

    // A LIKE pattern kept in the file is read by other programs with
    // SQLite's wildcards only.
    void checkStoredPattern(const Expr& pattern) const {
        const QString text = unquoteString(pattern.first);
        for (QChar c : {u'*', u'?', u'#', u'['})
            if (text.contains(c))
                refuseStored(QStringLiteral("the LIKE wildcard '%1'").arg(c),
                             "% for any text and _ for one character");
    }

    Expr parseUnary() {
        if (p_ >= n_) return {};
        if (isPunct(p_, '-') || isPunct(p_, '+') || isPunct(p_, '~')) {
            const int start = p_++;
            const Expr operand = parseUnary();
            Expr e;
            e.first = start;
            e.last = operand.valid() ? operand.last : start;
            e.kind = Kind::Number;
            return e;
        }
        if (isWord(p_, "NOT")) {
            const int start = p_++;
            const Expr operand = parseExpr(4);
            Expr e;
            e.first = start;
            e.last = operand.valid() ? operand.last : start;
            e.kind = Kind::Number;
            return e;
        }
        return parsePrimary();
    }

    Expr parsePrimary() {
        if (p_ >= n_) return {};
        const Token& t = tok(p_);
        Expr e;
        e.first = p_;
        e.last = p_;
        switch (t.kind) {
        case TokenKind::Number:
            ++p_;
            e.kind = Kind::Number;
            return e;
        case TokenKind::String:
            ++p_;
            e.kind = Kind::Text;
            e.literal = true;
            return e;
        case TokenKind::DateLiteral:
            replace(p_, isoDateLiteral(view(p_).toString()));
            ++p_;
            e.kind = Kind::Date;
            return e;
        case TokenKind::Quoted:
            return isPunct(p_ + 1, '(') ? parseCall() : parseName();
        case TokenKind::Word:
            break;
        case TokenKind::Punct: {
            if (isPunct(p_, '(')) {
                // One expression in parentheses is what it holds.
                const int open = p_;
                int close = p_;
                const Sequence inner = parseGroup(&close);
                if (inner.single) {
                    e = inner.items.front();
                    e.literal = false;
                    e.truth = false;
                }
                e.first = open;
                e.last = close;
                return e;
            }
            if (isPunct(p_, '*')) {
                ++p_;
                return e;
            }
            if (isPunct(p_, '?') || isPunct(p_, ':') || isPunct(p_, '@') || isPunct(p_, '$')) {
                if (adjacent(p_) && (tok(p_ + 1).kind == TokenKind::Word || tok(p_ + 1).kind == TokenKind::Number))
                    ++p_;
                e.last = p_++;
                return e;
            }
            return {};
        }
        case TokenKind::Space:
            return {};
        }

        const QString& w = word(p_);
        if (w == QLatin1String("CASE")) return parseCase();
        if (w == QLatin1String("EXISTS") && isPunct(p_ + 1, '(')) {
            ++p_;
            int close = p_;
            parseGroup(&close);
            e.last = close;
            e.kind = Kind::Number;
            return e;
        }
        if (w == QLatin1String("TRUE") || w == QLatin1String("FALSE")) {
            replace(p_, w == QLatin1String("TRUE") ? QStringLiteral("-1") : QStringLiteral("0"));
            ++p_;
            e.kind = Kind::Number;
            e.truth = true;
            return e;
        }
        if (w == QLatin1String("NULL")) {
            ++p_;
            return e;
        }
        if (isPunct(p_ + 1, '(') && (!isClause(p_) || callableKeyword(w))) return parseCall();
        if (isClause(p_)) return {};
        return parseName();
    }

    // [schema.]table.column, or a name alone.
    Expr parseName() {
        Expr e;
        e.first = p_;
        int lastName = p_++;
        while (isPunct(p_, '.') && (isName(p_ + 1) || isPunct(p_ + 1, '*'))) {
            lastName = p_ + 1;
            p_ += 2;
        }
        e.last = lastName;
        e.column = true;
        // The log's fields by name ([Date], "Time", r.Type, ...).
        QStringView name = view(lastName);
        if (tok(lastName).kind == TokenKind::Quoted && name.size() >= 2) name = name.mid(1, name.size() - 2);
        auto is = [&](const char* field) { return name.compare(QLatin1String(field), Qt::CaseInsensitive) == 0; };
        if (is("date")) {
            e.kind = Kind::Date;
        } else if (is("time")) {
            e.kind = Kind::Number;
        } else if (is("type") || is("description")) {
            e.kind = Kind::Text;
            e.textField = true;
        }
        return e;
    }

    Expr parseCall() {
        Expr e;
        e.first = p_;
        const int nameAt = p_;
        const QString name = unquoteName(s_, tok(nameAt)).toLower();
        ++p_;
        int close = p_;
        const Sequence args = parseGroup(&close);
        e.last = close;
        const int arguments = int(args.items.size());
        // SQLite reads these words as keywords; quoted, they name the function.
        if (tok(nameAt).kind == TokenKind::Word &&
            (name == QLatin1String("left") || name == QLatin1String("right") || name == QLatin1String("isnull")))
            replace(nameAt, quoteName(view(nameAt).toString()));
        const auto& table = knownFunctions();
        if (const auto it = table.find(name); it != table.end()) {
            const FunctionInfo& info = *it;
            if (storage_ == Storage::Stored && ownCall(name, info, arguments) && info.plain)
                refuseStored(view(nameAt).toString() + QStringLiteral("()"), info.plain);
            if (info.result == FunctionInfo::Fixed) e.kind = info.kind;
            else if (info.result == FunctionInfo::FirstArgument && arguments >= 1) e.kind = args.items[0].kind;
            else if (info.result == FunctionInfo::SecondArgument && arguments >= 2) e.kind = args.items[1].kind;
            if ((name == QLatin1String("date") && arguments == 0)) e.kind = Kind::Date;
            e.textField = e.kind == Kind::Text;
        }
        if (name == QLatin1String("cast") && arguments >= 1) {
            const QString type = word(close - 1);
            if (type == QLatin1String("TEXT")) e.kind = Kind::Text;
            else if (!type.isEmpty()) e.kind = Kind::Number;
            e.textField = e.kind == Kind::Text;
        }
        // FILTER (WHERE ...) and OVER (...) / OVER name follow an aggregate.
        if (isWord(p_, "FILTER") && isPunct(p_ + 1, '(')) {
            ++p_;
            parseGroup(&e.last);
        }
        if (isWord(p_, "OVER")) {
            ++p_;
            if (isPunct(p_, '(')) parseGroup(&e.last);
            else if (isName(p_)) e.last = p_++;
        }
        return e;
    }

    Expr parseCase() {
        Expr e;
        e.first = p_++;
        if (!isWord(p_, "WHEN")) parseExpr(0);
        bool first = true;
        while (isWord(p_, "WHEN")) {
            ++p_;
            parseExpr(0);
            if (!isWord(p_, "THEN")) break;
            ++p_;
            const Expr result = parseExpr(0);
            if (first) e.kind = result.kind;
            first = false;
        }
        if (isWord(p_, "ELSE")) {
            ++p_;
            parseExpr(0);
        }
        if (isWord(p_, "END")) {
            e.last = p_++;
        } else {
            e.last = std::max(e.first, p_ - 1);
        }
        e.textField = e.kind == Kind::Text;
        return e;
    }

    static constexpr int kMaxDepth = 400;

    const QString& s_;
    Storage storage_;
    std::vector<Token> all_;
    std::vector<int> sig_;
    int n_ = 0;
    int p_ = 0;
    int depth_ = 0;
    bool inLimit_ = false;
    bool edited_ = false;
    std::vector<Edit> edits_;
    std::vector<const Keyword*> words_;
    std::vector<Operator> ops_;
};

}  // namespace

QString rewriteDialect(const QString& sql, Storage storage) { return Rewriter(sql, storage).run(); }

Error parametersRefused() {
    return Error(err::Refused,
                 QStringLiteral("PARAMETERS declares values to be asked for when the query runs; Pacebook does "
                                "not ask. Leave the PARAMETERS line out and write the values into the statement "
                                "itself, for example #2024-05-31#, 45 or 'Long'."));
}

}  // namespace dao::sql
