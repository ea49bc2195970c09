// SPDX-License-Identifier: GPL-3.0-or-later
#include "printfguard.h"

#include "sqlite_util.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace dao::detail {

namespace {

// The least number of bytes the engine's printf() writes for a format and
// its arguments: the text around the conversions, and each conversion's
// width, or its count of repeats for %c. The format is read as the engine
// reads it, arguments taken in the same order (a '*' takes one), up to
// where the engine would stop (an unknown conversion, or the end of the
// text in the middle of one).
std::int64_t leastLength(const char* fmt, int argc, sqlite3_value** argv) {
    int used = 0;
    const auto intArg = [&]() -> int {
        // As the engine: the 64-bit value, cut to an int.
        return used < argc ? static_cast<int>(sqlite3_value_int64(argv[used++])) : 0;
    };
    std::int64_t least = 0;
    for (char c; (c = *fmt) != 0; ++fmt) {
        if (c != '%') {
            const char* text = fmt;
            while (fmt[1] && fmt[1] != '%') ++fmt;
            least += fmt - text + 1;
            continue;
        }
        if ((c = *++fmt) == 0) return least + 1;  // a '%' at the end is written as it is
        int width = 0;
        int precision = -1;
        bool done = false;
        do {
            switch (c) {
            case '-': case '+': case ' ': case '#': case '!': case '0': case ',':
                break;
            case 'l':
                c = *++fmt;
                if (c == 'l') c = *++fmt;
                done = true;
                break;
            case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9': {
                std::uint32_t wx = std::uint32_t(c - '0');
                while ((c = *++fmt) >= '0' && c <= '9') wx = wx * 10 + std::uint32_t(c - '0');
                width = int(wx & 0x7fffffff);
                if (c != '.' && c != 'l')
                    done = true;
                else
                    --fmt;
                break;
            }
            case '*':
                width = intArg();
                if (width < 0) width = width >= -2147483647 ? -width : 0;
                if ((c = fmt[1]) != '.' && c != 'l') {
                    c = *++fmt;
                    done = true;
                }
                break;
            case '.':
                c = *++fmt;
                if (c == '*') {
                    precision = intArg();
                    if (precision < 0) precision = precision >= -2147483647 ? -precision : -1;
                    c = *++fmt;
                } else {
                    std::uint32_t px = 0;
                    for (; c >= '0' && c <= '9'; c = *++fmt) px = px * 10 + std::uint32_t(c - '0');
                    precision = int(px & 0x7fffffff);
                }
                if (c == 'l')
                    --fmt;
                else
                    done = true;
                break;
            default:
                done = true;
                break;
            }
        } while (!done && (c = *++fmt) != 0);

        if (c == 0 || !std::strchr("dsgzqQwcouxXfeEGi%pnr", c)) return least;  // the engine stops here
        if (c == 'n') continue;  // writes nothing, takes nothing
        if (c != '%') ++used;
        // Every conversion is padded to its width; %c repeats its
        // character (a byte at least) precision times.
        least += c == 'c' ? std::max<std::int64_t>(width, std::max(precision, 1)) : width;
    }
    return least;
}

// A plain connection of its own, on which the engine's printf() runs with
// one character put before the format: the result is then never empty, so
// NULL can only mean that it was too long.
class Helper {
public:
    ~Helper() {
        for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
        sqlite3_close(db_);
    }

    // "SELECT printf(?1, ..., ?argc)", prepared once for each count.
    sqlite3_stmt* statement(int argc) {
        if (!db_ && sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
            return nullptr;
        if (statements_.size() <= size_t(argc)) statements_.resize(size_t(argc) + 1, nullptr);
        sqlite3_stmt*& s = statements_[size_t(argc)];
        if (!s) {
            std::string sql = "SELECT printf(?1";
            for (int i = 2; i <= argc; ++i) sql += ",?" + std::to_string(i);
            sql += ")";
            if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
                s = nullptr;
        }
        return s;
    }
    sqlite3* db() const { return db_; }

private:
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
};

// Runs the engine's printf() on the helper with the given format and the
// call's other arguments; the result stays in s until it is reset.
int runPrintf(sqlite3_stmt* s, const std::string& format, int argc, sqlite3_value** argv) {
    sqlite3_reset(s);
    sqlite3_bind_text64(s, 1, format.data(), format.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    for (int i = 1; i < argc; ++i) sqlite3_bind_value(s, i + 1, argv[i]);
    return sqlite3_step(s);
}

void guardedPrintf(sqlite3_context* context, int argc, sqlite3_value** argv) {
    const char* format = argc > 0 ? reinterpret_cast<const char*>(sqlite3_value_text(argv[0])) : nullptr;
    if (!format) return;  // NULL, as the engine's
    sqlite3* db = sqlite3_context_db_handle(context);
    const int limit = sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1);
    if (leastLength(format, argc - 1, argv + 1) > limit) {
        sqlite3_result_error_toobig(context);
        return;
    }
    auto& helper = *static_cast<std::shared_ptr<Helper>*>(sqlite3_user_data(context));
    sqlite3_stmt* s = helper->statement(argc);
    if (!s) {
        sqlite3_result_error_nomem(context);
        return;
    }
    sqlite3_limit(helper->db(), SQLITE_LIMIT_LENGTH, limit + 1);  // room for the character put first
    if (runPrintf(s, std::string("x") + format, argc, argv) != SQLITE_ROW) {
        sqlite3_result_error(context, sqlite3_errmsg(helper->db()), -1);
    } else if (sqlite3_column_type(s, 0) == SQLITE_NULL) {
        sqlite3_result_error_toobig(context);
    } else if (sqlite3_column_bytes(s, 0) > 1) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_result_text64(context, text + 1, sqlite3_uint64(sqlite3_column_bytes(s, 0) - 1), SQLITE_TRANSIENT,
                              SQLITE_UTF8);
    } else if (runPrintf(s, format, argc, argv) == SQLITE_ROW) {
        // Nothing written: the engine's own gives '' or NULL, as it wrote
        // an empty piece or none at all.
        sqlite3_result_value(context, sqlite3_column_value(s, 0));
    } else {
        sqlite3_result_error(context, sqlite3_errmsg(helper->db()), -1);
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
}

void forgetHelper(void* data) { delete static_cast<std::shared_ptr<Helper>*>(data); }

}  // namespace

void guardPrintf(sqlite3* db) {
    const auto helper = std::make_shared<Helper>();
    // Each name holds the helper; it goes with the last of them.
    for (const char* name : {"printf", "format"}) {
        auto* data = new std::shared_ptr<Helper>(helper);
        if (sqlite3_create_function_v2(db, name, -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, data,
                                       &guardedPrintf, nullptr, nullptr, &forgetHelper) != SQLITE_OK)
            throw errorFor(db, sqlite3_errcode(db), Stage::Open);
    }
}

}  // namespace dao::detail
