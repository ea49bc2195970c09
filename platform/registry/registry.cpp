// SPDX-License-Identifier: GPL-3.0-or-later
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

namespace registry {

namespace {

constexpr DWORD REG_OPTION_OPEN_LINK = 8;
constexpr qint64 kLargestHive = 4 * 1024 * 1024;  // a bigger file is taken as damaged

// Rights that would let the holder change the key.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// Rights that allow reading values.
constexpr REGSAM kQueryRights = KEY_QUERY_VALUE | GENERIC_READ | GENERIC_ALL | MAXIMUM_ALLOWED;

struct Value {
    DWORD type = REG_NONE;
    QByteArray data;
};

// A key's values by lower-case name; "" is the default value.
using Values = QHash<QString, Value>;

struct OpenKey {
    QString path;
    REGSAM rights = 0;
    Values values;  // as they were when the key was opened
};

struct State {
    std::mutex mutex;
    QStringList files;  // empty: the defaults
    QHash<HKEY, OpenKey> open;
    HKEY nextHandle = 0x1000;
};

State& state() {
    static State s;
    return s;
}

// Names of keys and values match without regard to case (ASCII, the usual
// case, without a table).
bool sameName(QStringView a, QStringView b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x == y) continue;
        if ((x | y) >= 0x80) return a.mid(i).compare(b.mid(i), Qt::CaseInsensitive) == 0;
        if (x >= u'A' && x <= u'Z') x += u'a' - u'A';
        if (y >= u'A' && y <= u'Z') y += u'a' - u'A';
        if (x != y) return false;
    }
    return true;
}

// ---------------------------------------------------------------- roots

std::optional<HKEY> rootByName(QStringView name) {
    const auto is = [name](QStringView a, QStringView b) { return sameName(name, a) || sameName(name, b); };
    if (is(u"HKEY_CLASSES_ROOT", u"HKCR")) return HKEY_CLASSES_ROOT;
    if (is(u"HKEY_CURRENT_USER", u"HKCU")) return HKEY_CURRENT_USER;
    if (is(u"HKEY_LOCAL_MACHINE", u"HKLM")) return HKEY_LOCAL_MACHINE;
    if (is(u"HKEY_USERS", u"HKU")) return HKEY_USERS;
    if (is(u"HKEY_CURRENT_CONFIG", u"HKCC")) return HKEY_CURRENT_CONFIG;
    return std::nullopt;
}

bool isRootHandle(HKEY h) {
    return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE || h == HKEY_USERS ||
           h == HKEY_CURRENT_CONFIG;
}

QString rootPath(HKEY root) { return QString::number(root, 16); }

bool isRootPath(const QString& path) { return !path.contains(u'\\'); }

// A path below a root, without its trailing backslash; nullopt when a name
// in it is empty ("a\\b"). One trailing backslash is allowed.
std::optional<QStringView> subPath(QStringView sub) {
    if (sub.endsWith(u'\\')) sub.chop(1);
    if (sub.startsWith(u'\\') || sub.endsWith(u'\\') || sub.contains(u"\\\\")) return std::nullopt;
    return sub;
}

// Joins a path below base: "80000002\\software\\...", in lower case.
std::optional<QString> joinPath(const QString& base, QStringView sub) {
    const auto below = subPath(sub);
    if (!below) return std::nullopt;
    if (below->isEmpty()) return base;
    return (base + u'\\' + below->toString()).toLower();
}

// ---------------------------------------------------------------- names

// Whether name is path or lies below it (path "" is a root: everything).
bool atOrBelow(QStringView name, QStringView path) {
    if (path.isEmpty()) return true;
    return name.size() >= path.size() && (name.size() == path.size() || name[path.size()] == u'\\') &&
           sameName(name.left(path.size()), path);
}

struct NameHash {
    size_t operator()(QStringView name) const noexcept {
        size_t h = 0;
        for (QChar c : name)
            if (!c.isSurrogate()) h = h * 31 + QChar::toCaseFolded(c.unicode());
        return h;
    }
};
struct NameEqual {
    bool operator()(QStringView a, QStringView b) const noexcept { return sameName(a, b); }
};
using NameSet = std::unordered_set<QStringView, NameHash, NameEqual>;

// ---------------------------------------------------------------- parsing

// The hive's text: UTF-16 or UTF-8 with a byte order mark, otherwise UTF-8
// when it is valid UTF-8, else Latin-1.
QString decodeHive(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        auto decode = QStringDecoder(QStringDecoder::Utf16LE);
        return decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        auto decode = QStringDecoder(QStringDecoder::Utf16BE);
        return decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    auto decode = QStringDecoder(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (decode.hasError()) return QString::fromLatin1(bytes);
    return text;
}

// One line of a hive that matters: a key listed or removed, a value set or
// removed. It points into the hive's text, which the Hives that hold it
// keep; nothing is decoded until a key's values are asked for.
struct Op {
    enum Kind : quint8 { Key, RemoveKey, SetValue, RemoveValue };
    enum Form : quint8 { Quoted, Dword, Hex };
    Kind kind = Key;
    Form form = Quoted;
    bool unicode = false;  // a version 5 file: strings in hex lists are UTF-16LE
    int file = 0;          // its hive file, by its place in the list read
    HKEY root = 0;
    DWORD type = REG_NONE;
    QStringView key;       // the key's path below the root, as written; for a value, its key's
    QStringView name;      // a value's name as written between its quotes ("" for @)
    QStringView data;      // the text of a value: between its quotes, the digits, or the list
};

// Hexadecimal digits only: no sign, no "0x".
std::optional<DWORD> hexNumber(QStringView digits, int maxDigits) {
    if (digits.isEmpty() || digits.size() > maxDigits) return std::nullopt;
    DWORD n = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        const int d = u >= u'0' && u <= u'9'   ? u - u'0'
                      : u >= u'a' && u <= u'f' ? u - u'a' + 10
                      : u >= u'A' && u <= u'F' ? u - u'A' + 10
                                               : -1;
        if (d < 0) return std::nullopt;
        n = n << 4 | DWORD(d);
    }
    return n;
}

// Reads a hive's text into its Ops, checking every line; views of the text
// cost no copy, so a line takes time in proportion to its length.
class HiveParser {
public:
    HiveParser(const QString& text, int file) : text_(text), file_(file) {}

    // The hive's Ops, in order; nullopt when the text is damaged.
    std::optional<std::vector<Op>> parse() {
        if (!readHeader()) return std::nullopt;
        while (!atEnd()) {
            const QStringView line = nextLine();
            if (line.isEmpty() || line.startsWith(u';')) continue;
            bool ok = false;
            if (line.startsWith(u'['))
                ok = keyLine(line);
            else if (line.startsWith(u'"') || line.startsWith(u'@'))
                ok = valueLine(line);
            if (!ok) return std::nullopt;
        }
        return std::move(ops_);
    }

private:
    bool atEnd() const { return at_ > text_.size(); }

    // The next line without its line break, trimmed.
    QStringView nextLine() {
        qsizetype end = text_.indexOf(u'\n', at_);
        if (end < 0) end = text_.size();
        const QStringView line = QStringView(text_).mid(at_, end - at_).trimmed();
        at_ = end + 1;
        return line;
    }

    bool readHeader() {
        while (!atEnd()) {
            const QStringView line = nextLine();
            if (line.isEmpty()) continue;
            if (line == u"Windows Registry Editor Version 5.00") {
                unicode_ = true;
                return true;
            }
            return line == u"REGEDIT4";
        }
        return false;
    }

    bool keyLine(QStringView line) {
        if (!line.endsWith(u']')) return false;
        QStringView inner = line.mid(1, line.size() - 2);
        const bool remove = inner.startsWith(u'-');
        if (remove) inner = inner.mid(1);
        const qsizetype slash = inner.indexOf(u'\\');
        const auto root = rootByName(slash < 0 ? inner : inner.left(slash));
        if (!root) return false;
        const auto sub = subPath(slash < 0 ? QStringView() : inner.mid(slash + 1));
        if (!sub) return false;
        Op op = base(remove ? Op::RemoveKey : Op::Key);
        op.root = *root;
        op.key = *sub;
        ops_.push_back(op);
        inKey_ = !remove;  // values under a removed key are damage
        if (inKey_) key_ = op;
        return true;
    }

    // The text between quotes, escapes (\\ and \") left as they are, from
    // pos at the opening quote; pos ends after the closing quote.
    static std::optional<QStringView> quoted(QStringView line, qsizetype& pos) {
        if (pos >= line.size() || line[pos] != u'"') return std::nullopt;
        const qsizetype from = ++pos;
        for (; pos < line.size(); ++pos) {
            const QChar c = line[pos];
            if (c == u'"') return line.mid(from, pos++ - from);
            if (c == u'\\') {
                if (pos + 1 >= line.size() || (line[pos + 1] != u'\\' && line[pos + 1] != u'"')) return std::nullopt;
                ++pos;
            }
        }
        return std::nullopt;  // no closing quote
    }

    static void skipBlanks(QStringView s, qsizetype& pos) {
        while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    }

    bool valueLine(QStringView line) {
        if (!inKey_) return false;  // a value outside a key, or under a removed one
        Op op = key_;
        qsizetype pos = 0;
        if (line[0] == u'@') {
            pos = 1;
        } else {
            const auto name = quoted(line, pos);
            if (!name) return false;
            op.name = *name;
        }
        skipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != u'=') return false;
        ++pos;
        skipBlanks(line, pos);
        const QStringView data = line.mid(pos);
        op.kind = Op::SetValue;

        if (data == u"-") {
            op.kind = Op::RemoveValue;
        } else if (data.startsWith(u'"')) {
            qsizetype p = 0;
            const auto text = quoted(data, p);
            if (!text) return false;
            skipBlanks(data, p);
            if (p != data.size()) return false;
            op.form = Op::Quoted;
            op.type = REG_SZ;
            op.data = *text;
        } else if (sameName(data.left(6), u"dword:")) {
            op.form = Op::Dword;
            op.type = REG_DWORD;
            op.data = data.mid(6).trimmed();
            if (!hexNumber(op.data, 8)) return false;
        } else if (sameName(data.left(3), u"hex")) {
            op.form = Op::Hex;
            op.type = REG_BINARY;
            qsizetype colon = 3;
            if (sameName(data.left(4), u"hex(")) {
                const qsizetype close = data.indexOf(u')');
                if (close < 0) return false;
                const auto t = hexNumber(data.mid(4, close - 4), 8);
                if (!t) return false;
                op.type = *t;
                colon = close + 1;
            }
            if (colon >= data.size() || data[colon] != u':') return false;
            const QStringView first = data.mid(colon + 1).trimmed();
            const qsizetype begin = first.data() - text_.constData();
            if (!hexList(first)) return false;
            op.data = QStringView(text_).mid(begin, listEnd_ - begin);
        } else {
            return false;
        }
        ops_.push_back(op);
        return true;
    }

    // Checks a list of bytes ("01,ff,...", blanks anywhere, one comma may
    // end it) that runs on over the lines after it while a line ends in a
    // backslash; listEnd_ becomes the end of its last line in the text.
    bool hexList(QStringView piece) {
        int digits = 0;
        bool any = false;
        bool endsInComma = false;
        for (;;) {
            listEnd_ = piece.data() + piece.size() - text_.constData();
            const bool more = piece.endsWith(u'\\');
            if (more) piece.chop(1);
            for (QChar c : piece) {
                if (c == u' ' || c == u'\t') continue;
                any = true;
                endsInComma = c == u',';
                if (endsInComma) {
                    if (digits == 0) return false;
                    digits = 0;
                } else if (!hexNumber(QStringView(&c, 1), 1) || ++digits > 2) {
                    return false;
                }
            }
            if (!more) break;
            piece = atEnd() ? QStringView() : nextLine();
            if (piece.isEmpty()) return false;  // cut short
        }
        return !any || endsInComma || digits > 0;
    }

    Op base(Op::Kind kind) const {
        Op op;
        op.kind = kind;
        op.file = file_;
        op.unicode = unicode_;
        return op;
    }

    const QString& text_;
    const int file_;
    qsizetype at_ = 0;
    qsizetype listEnd_ = 0;
    bool unicode_ = false;
    bool inKey_ = false;
    Op key_;  // the key the value lines belong to
    std::vector<Op> ops_;
};

// ---------------------------------------------------------------- values

QString unescape(QStringView raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) out += raw[i] == u'\\' ? raw[++i] : raw[i];
    return out;
}

std::optional<QByteArray> hexBytes(QString list) {
    QByteArray out;
    list.remove(u' ').remove(u'\t');
    if (list.isEmpty()) return out;
    if (list.endsWith(u',')) list.chop(1);
    for (const QStringView token : QStringView(list).split(u',')) {
        const auto b = hexNumber(token, 2);
        if (!b) return std::nullopt;
        out.append(char(*b));
    }
    return out;
}

// Strings of a version 5 file are UTF-16LE; the "A" functions hand them
// out in the 8-bit code page.
QByteArray utf16ToLatin1(const QByteArray& bytes) {
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8)));
    return text.toLatin1();
}

// The value a checked SetValue line gives.
Value valueOf(const Op& op) {
    switch (op.form) {
    case Op::Quoted: {
        QByteArray bytes = unescape(op.data).toLatin1();  // characters outside Latin-1 become '?'
        bytes.append('\0');
        return {REG_SZ, bytes};
    }
    case Op::Dword: {
        const DWORD n = hexNumber(op.data, 8).value_or(0);
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[i] = char((n >> (8 * i)) & 0xFF);
        return {REG_DWORD, bytes};
    }
    case Op::Hex: {
        QString list;
        for (QStringView line : op.data.split(u'\n')) {
            line = line.trimmed();
            if (line.endsWith(u'\\')) line.chop(1);
            list += line;
        }
        QByteArray bytes = hexBytes(list).value_or(QByteArray());
        if (op.unicode && (op.type == REG_SZ || op.type == REG_EXPAND_SZ || op.type == REG_MULTI_SZ))
            bytes = utf16ToLatin1(bytes);
        return {op.type, bytes};
    }
    }
    return {};
}

// ---------------------------------------------------------------- hives

// The bytes of a hive file, when it is a regular file of at most
// kLargestHive bytes. Nothing here waits: a FIFO, a device or a socket of
// that name is never read, and the open that checks it cannot block.
std::optional<QByteArray> readHiveFile(const QString& file) {
    const QByteArray name = QFile::encodeName(file);
    struct stat before {};
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode) || before.st_size > kLargestHive)
        return std::nullopt;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat opened {};
    // Still the file looked at: not swapped for something else meanwhile.
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == before.st_dev &&
        opened.st_ino == before.st_ino) {
        // One byte more than the limit tells a file that grew past it.
        QByteArray data(kLargestHive + 1, Qt::Uninitialized);
        qsizetype got = 0;
        ssize_t n = 0;
        while (got < data.size() && ((n = ::read(fd, data.data() + got, size_t(data.size() - got))) > 0 ||
                                     (n < 0 && errno == EINTR)))
            got += std::max<ssize_t>(n, 0);
        if (n == 0 && got <= kLargestHive) {
            data.truncate(got);
            bytes = std::move(data);
        }
    }
    ::close(fd);
    return bytes;
}

// What a key holds once every hive file is read.
struct KeyInfo {
    bool exists = false;  // listed, or above a listed key
    Values values;
    QSet<int> files;      // the hive files that list it or a key below it
};

// The hive files read, each applied over the ones before it. A missing or
// damaged file adds nothing.
class Hives {
public:
    explicit Hives(const QStringList& files) {
        texts_.reserve(size_t(files.size()));  // the Ops point into these texts
        for (int i = 0; i < files.size(); ++i) {
            const std::optional<QByteArray> bytes = readHiveFile(files[i]);
            if (!bytes) continue;
            texts_.push_back(decodeHive(*bytes));
            auto ops = HiveParser(texts_.back(), i).parse();
            if (ops) ops_.insert(ops_.end(), ops->begin(), ops->end());
        }
    }

    // The key at path ("80000002\\software\\..."). Read from the last line
    // back: the latest removal of the key or one above it ends what counts,
    // a value's latest line decides it, and a key below counts unless a
    // later line removed it or one above it.
    KeyInfo key(const QString& path) const {
        const qsizetype slash = path.indexOf(u'\\');
        const HKEY root = path.left(slash < 0 ? path.size() : slash).toUInt(nullptr, 16);
        const QStringView sub = slash < 0 ? QStringView() : QStringView(path).mid(slash + 1);
        KeyInfo info;
        info.exists = isRootPath(path);
        NameSet decided;  // values whose latest line was seen
        NameSet removed;  // keys below path removed later on
        for (auto op = ops_.rbegin(); op != ops_.rend(); ++op) {
            if (op->root != root || (!atOrBelow(op->key, sub) && !atOrBelow(sub, op->key))) continue;
            const bool same = op->key.size() == sub.size() && sameName(op->key, sub);
            const bool below = !same && atOrBelow(op->key, sub);
            switch (op->kind) {
            case Op::RemoveKey:
                if (!below) return info;  // the key itself, or one above it
                removed.insert(op->key);
                break;
            case Op::Key:
                if ((same || below) && !removedLater(op->key, sub, removed)) {
                    info.exists = true;
                    info.files.insert(op->file);
                }
                break;
            case Op::SetValue:
            case Op::RemoveValue:
                if (!same || !decided.insert(op->name).second) break;
                if (op->kind == Op::SetValue) info.values.insert(unescape(op->name).toLower(), valueOf(*op));
                break;
            }
        }
        return info;
    }

private:
    // Whether a later line removed key, or a key above it below path.
    static bool removedLater(QStringView key, QStringView path, const NameSet& removed) {
        if (removed.empty()) return false;
        for (qsizetype at = key.indexOf(u'\\', path.size() + 1); at > 0; at = key.indexOf(u'\\', at + 1))
            if (removed.count(key.left(at))) return true;
        return removed.count(key) > 0;
    }

    std::vector<QString> texts_;
    std::vector<Op> ops_;
};

QStringList effectiveFiles(const State& s) {
    return s.files.isEmpty() ? QStringList{systemHiveFile(), portableHiveFile()} : s.files;
}

KeyInfo readKey(const State& s, const QString& path) { return Hives(effectiveFiles(s)).key(path); }

bool userCanWrite(const QString& file) { return ::access(QFile::encodeName(file).constData(), W_OK) == 0; }

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    State& s = state();
    std::lock_guard lock(s.mutex);

    QString base;
    if (isRootHandle(hKey))
        base = rootPath(hKey);
    else if (s.open.contains(hKey))
        base = s.open[hKey].path;
    else
        return ERROR_INVALID_HANDLE;
    if (ulOptions & ~REG_OPTION_OPEN_LINK) return ERROR_INVALID_PARAMETER;

    const auto path = joinPath(base, lpSubKey ? QString::fromLatin1(lpSubKey) : QString());
    if (!path) return ERROR_FILE_NOT_FOUND;
    KeyInfo key = readKey(s, *path);
    if (!key.exists) return ERROR_FILE_NOT_FOUND;

    if (samDesired & kWriteRights) {
        // Writable only where every hive file that holds the key is.
        if (key.files.isEmpty()) return ERROR_ACCESS_DENIED;
        const QStringList files = effectiveFiles(s);
        for (int file : std::as_const(key.files))
            if (!userCanWrite(files.value(file))) return ERROR_ACCESS_DENIED;
    }

    while (s.nextHandle == 0 || isRootHandle(s.nextHandle) || s.open.contains(s.nextHandle)) s.nextHandle += 4;
    const HKEY handle = s.nextHandle;
    s.nextHandle += 4;
    s.open.insert(handle, OpenKey{*path, samDesired, std::move(key.values)});
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    State& s = state();
    std::lock_guard lock(s.mutex);

    Values values;
    if (isRootHandle(hKey)) {
        values = readKey(s, rootPath(hKey)).values;
    } else {
        const auto it = s.open.constFind(hKey);
        if (it == s.open.constEnd()) return ERROR_INVALID_HANDLE;
        if (!(it->rights & kQueryRights)) return ERROR_ACCESS_DENIED;
        values = it->values;
    }
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;

    const QString name = lpValueName ? QString::fromLatin1(lpValueName).toLower() : QString();
    const auto value = values.constFind(name);
    if (value == values.constEnd()) return ERROR_FILE_NOT_FOUND;

    if (lpType) *lpType = value->type;
    const DWORD size = DWORD(value->data.size());
    if (!lpcbData) return ERROR_SUCCESS;
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, value->data.constData(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (isRootHandle(hKey)) return ERROR_SUCCESS;
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.open.remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

QString systemHiveFile() { return QStringLiteral("/etc/xdg/Pacebook/system.reg"); }

QString portableHiveFile() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("system.reg"));
}

QStringList hiveFiles() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return effectiveFiles(s);
}

void setHiveFiles(const QStringList& files) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.files = files;
}

}  // namespace registry
