// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading statement text: a small tokenizer that knows SQLite's quoting and
// comments, the dialect additions (make-table SELECT ... INTO, #date#
// literals), and the shape of a SELECT (is it one plain table?).

#include "dialect.h"
#include "errors.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

namespace dao::sql {

enum class TokenKind {
    Word,        // keyword or bare name
    Quoted,      // "name", [name] or `name`
    String,      // 'text'
    Number,
    DateLiteral, // #...#
    Punct,       // one character: ( ) , ; . * = ...
    Space,       // blanks and comments
};

struct Token {
    TokenKind kind;
    int begin;
    int end;  // one past the last character
    QString text(const QString& sql) const { return sql.mid(begin, end - begin); }
};

std::vector<Token> tokenize(const QString& sql);

// True when the token is the given keyword (compared without regard to case).
bool isKeyword(const QString& sql, const Token& t, const char* keyword);

// The name a Word or Quoted token stands for, without its quotes.
QString unquoteName(const QString& sql, const Token& t);

// Quotes a name for SQLite: "name" with inner quotes doubled.
QString quoteName(const QString& name);
// Text as an SQL string literal: 'text' with inner quotes doubled.
QString quoteText(const QString& text);

// The statement with the trailing blanks, comments and semicolons removed.
// Throws 3142 when another statement follows the first.
QString singleStatement(const QString& sql);

// A month/day/year date as the desktop engine reads one: a two-digit year
// is 1930 to 2029. Invalid when there is no such day.
QDate monthDayYear(int month, int day, const QString& year);

// The day a #...# literal names (#2024-05-31#, #5/31/2024#); invalid when
// it names none.
QDate dateLiteralDay(const QString& token);

// Rewrites the program's dialect into SQLite's (dialect.h: #2024-05-31#
// becomes '2024-05-31', 3075 for a day that does not exist, and the rest),
// and a make-table "SELECT list INTO name FROM ..." becomes
// "CREATE TABLE name AS SELECT list FROM ...". Strings, quoted names and
// comments are left alone.
struct Translated {
    QString sql;
    QString makeTable;  // the new table's name for a make-table statement
};
Translated translate(const QString& sql, Storage storage = Storage::Run);

// A missing field (3061) written in brackets, as the desktop engine's
// parameters are ([Start date?]), explained as such; any other error as it
// is.
Error explainMissingField(const Error& e, const QString& sql);

// The shape of a SELECT statement over one plain table.
struct SelectShape {
    bool plainTable = false;  // SELECT list FROM one table [WHERE] [ORDER BY] [LIMIT]
    QString table;            // the table's name, unquoted
    QString selectList;       // text between SELECT and FROM
    QString fromClause;       // text after FROM up to WHERE/ORDER/LIMIT (table and alias)
    QString where;            // "WHERE ..." or empty
    QString orderBy;          // "ORDER BY ..." or empty
    QString limit;            // "LIMIT ..." or empty
};
SelectShape selectShape(const QString& sql);

// The first keyword of the statement, upper-cased ("" when none).
QString firstKeyword(const QString& sql);

// If the text is just one table name ("runlog", "[run log]", "\"runlog\""),
// that name; otherwise empty.
QString bareTableName(const QString& source);

}  // namespace dao::sql
