// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlguard.h"

#include "dao.h"
#include "printfguard.h"
#include "sqlite_util.h"
#include "sqltext.h"

#include <QSet>

#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <unordered_map>

namespace dao {

namespace {

// What the guard keeps for one connection; it lives as long as the
// connection (freed by the engine when the connection closes).
struct GuardState {
    sqlite3* db = nullptr;
    QString refusal;  // why the latest statement was refused
};

std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}
std::unordered_map<sqlite3*, GuardState*>& registry() {
    static std::unordered_map<sqlite3*, GuardState*> r;
    return r;
}

GuardState* stateOf(sqlite3* db) {
    std::lock_guard lock(registryMutex());
    const auto it = registry().find(db);
    return it == registry().end() ? nullptr : it->second;
}

// Pragmas that only report, whatever their argument (a table, an index, a
// number of errors to list).
const QSet<QString>& reportingPragmas() {
    static const QSet<QString> names = {
        QStringLiteral("table_info"),      QStringLiteral("table_xinfo"),   QStringLiteral("table_list"),
        QStringLiteral("index_list"),      QStringLiteral("index_info"),    QStringLiteral("index_xinfo"),
        QStringLiteral("foreign_key_list"), QStringLiteral("foreign_key_check"),
        QStringLiteral("integrity_check"), QStringLiteral("quick_check"),   QStringLiteral("collation_list"),
        QStringLiteral("function_list"),   QStringLiteral("module_list"),   QStringLiteral("pragma_list"),
        QStringLiteral("database_list"),   QStringLiteral("compile_options"), QStringLiteral("data_version"),
    };
    return names;
}

// Pragmas that may be read (no value given); setting them is refused.
const QSet<QString>& readablePragmas() {
    static const QSet<QString> names = {
        QStringLiteral("application_id"), QStringLiteral("user_version"),  QStringLiteral("schema_version"),
        QStringLiteral("page_size"),      QStringLiteral("page_count"),    QStringLiteral("max_page_count"),
        QStringLiteral("freelist_count"), QStringLiteral("encoding"),      QStringLiteral("journal_mode"),
        QStringLiteral("locking_mode"),   QStringLiteral("synchronous"),   QStringLiteral("foreign_keys"),
        QStringLiteral("auto_vacuum"),    QStringLiteral("cache_size"),    QStringLiteral("busy_timeout"),
        QStringLiteral("secure_delete"),  QStringLiteral("temp_store"),    QStringLiteral("query_only"),
        QStringLiteral("recursive_triggers"), QStringLiteral("trusted_schema"), QStringLiteral("journal_size_limit"),
        QStringLiteral("wal_autocheckpoint"), QStringLiteral("automatic_index"), QStringLiteral("cell_size_check"),
    };
    return names;
}

// Whether a VACUUM is running on the connection: it attaches a temporary
// database of its own (with an empty file name) to rebuild the file.
bool vacuumRunning(sqlite3* db) {
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) {
        if (!sqlite3_stmt_busy(s)) continue;
        const char* text = sqlite3_sql(s);
        if (text && sql::firstKeyword(QString::fromUtf8(text)) == QLatin1String("VACUUM")) return true;
    }
    return false;
}

QString refusedBecause(const QString& why) { return QStringLiteral("The statement was refused: ") + why; }

int authorize(void* data, int action, const char* arg1, const char* arg2, const char* /*dbName*/,
              const char* /*trigger*/) {
    auto* state = static_cast<GuardState*>(data);
    QString refusal;
    switch (action) {
    case SQLITE_ATTACH:
        // A VACUUM with a target file attaches that file; a plain VACUUM
        // attaches a temporary database of its own.
        if (arg1 && *arg1)
            refusal = refusedBecause(QStringLiteral("it would open or write another file ('%1').")
                                         .arg(QString::fromUtf8(arg1)));
        else if (!vacuumRunning(state->db))
            refusal = refusedBecause(QStringLiteral("attaching another database is not allowed."));
        break;
    case SQLITE_DETACH:
        if (!vacuumRunning(state->db))
            refusal = refusedBecause(QStringLiteral("detaching a database is not allowed."));
        break;
    case SQLITE_PRAGMA: {
        const QString name = QString::fromUtf8(arg1 ? arg1 : "").toLower();
        const bool withValue = arg2 != nullptr;
        if (reportingPragmas().contains(name)) break;
        if (readablePragmas().contains(name)) {
            if (withValue) refusal = refusedBecause(QStringLiteral("PRAGMA %1 may be read here, not changed.").arg(name));
            break;
        }
        refusal = refusedBecause(
            QStringLiteral("PRAGMA %1 is not allowed here: it could change the file or how it is kept safe.").arg(name));
        break;
    }
    case SQLITE_FUNCTION:
        if (arg2 && qstricmp(arg2, "load_extension") == 0)
            refusal = refusedBecause(QStringLiteral("loading extensions is not allowed."));
        break;
    default:
        break;
    }
    if (refusal.isEmpty()) return SQLITE_OK;
    state->refusal = refusal;
    return SQLITE_DENY;
}

// Frees the guard's state when the connection closes (the engine calls the
// destructor of a function when the connection goes).
void guardMarker(sqlite3_context* context, int, sqlite3_value**) { sqlite3_result_int(context, 1); }
void forgetState(void* data) {
    auto* state = static_cast<GuardState*>(data);
    {
        std::lock_guard lock(registryMutex());
        const auto it = registry().find(state->db);
        if (it != registry().end() && it->second == state) registry().erase(it);
    }
    delete state;
}

void configure(sqlite3* db, int option, int value, const char* what) {
    int now = -1;
    if (sqlite3_db_config(db, option, value, &now) != SQLITE_OK || now != value)
        throw Error(err::EngineError, QStringLiteral("The database engine refused to %1.").arg(QLatin1String(what)));
}

}  // namespace

void guardConnection(sqlite3* db) {
    if (!db) throw Error(err::ObjectInvalid);
    if (isGuarded(db)) return;

    configure(db, SQLITE_DBCONFIG_DEFENSIVE, 1, "protect the file's structure");
    configure(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, "turn extension loading off");
    configure(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, "stop trusting functions stored in the file");

    sqlite3_limit(db, SQLITE_LIMIT_SQL_LENGTH, guard::kMaxStatementBytes);
    sqlite3_limit(db, SQLITE_LIMIT_LENGTH, guard::kMaxValueBytes);
    sqlite3_limit(db, SQLITE_LIMIT_EXPR_DEPTH, guard::kMaxExpressionDepth);
    sqlite3_limit(db, SQLITE_LIMIT_COMPOUND_SELECT, guard::kMaxCompoundSelect);
    sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, guard::kMaxVariables);
    sqlite3_limit(db, SQLITE_LIMIT_TRIGGER_DEPTH, guard::kMaxTriggerDepth);
    detail::guardPrintf(db);  // a result past the value limit fails instead of reading as NULL

    auto* state = new GuardState{db, {}};
    // From here the engine owns the state: it frees it when the connection
    // closes, or right away if the function cannot be made.
    if (sqlite3_create_function_v2(db, "pacebook_guard", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, state,
                                   &guardMarker, nullptr, nullptr, &forgetState) != SQLITE_OK)
        throw detail::errorFor(db, sqlite3_errcode(db), detail::Stage::Open);
    {
        std::lock_guard lock(registryMutex());
        registry()[db] = state;
    }
    sqlite3_set_authorizer(db, &authorize, state);
}

void guardConnection(Database& db) { guardConnection(db.handle()); }

bool isGuarded(sqlite3* db) { return stateOf(db) != nullptr; }

QString takeGuardRefusal(sqlite3* db) {
    GuardState* state = stateOf(db);
    if (!state) return {};
    QString refusal = std::exchange(state->refusal, QString());
    // Only while the engine's latest failure is the refusal itself.
    const char* message = sqlite3_errmsg(db);
    if (!message || (!std::strstr(message, "not authorized") && !std::strstr(message, "authorization denied")))
        return {};
    return refusal;
}

void checkStatementText(const QString& sql) {
    if (sql.contains(QChar(0)))
        throw Error(err::Refused, refusedBecause(QStringLiteral("it holds a NUL character, after which the "
                                                                "rest of it would not be read.")));
    if (sql.toUtf8().size() > guard::kMaxStatementBytes)
        throw Error(err::Refused, QStringLiteral("The statement is too long to run: it may hold at most "
                                                 "%1 bytes of text.")
                                      .arg(guard::kMaxStatementBytes));
}

bool rollbackOpenTransaction(Database& db) {
    sqlite3* h = db.handle();
    if (!h || sqlite3_get_autocommit(h)) return false;
    // ROLLBACK ends it even while statements still read; should it fail,
    // closing the connection releases the locks all the same.
    if (sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK) db.Close();
    return true;
}

}  // namespace dao
