// SPDX-License-Identifier: GPL-3.0-or-later
#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringDecoder>

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <optional>

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

struct KeyData {
    QHash<QString, Value> values;  // by lower-case name; "" is the default value
    QSet<QString> files;           // the hive files that wrote this key
};

// Every key, by its lower-case path "80000002\software\...". A key exists
// when it is listed or lies above a listed key.
using Model = QMap<QString, KeyData>;

struct OpenKey {
    QString path;
    REGSAM rights = 0;
    QHash<QString, Value> values;  // as they were when the key was opened
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

// ---------------------------------------------------------------- roots

std::optional<HKEY> rootByName(const QString& name) {
    const QString n = name.toUpper();
    if (n == u"HKEY_CLASSES_ROOT" || n == u"HKCR") return HKEY_CLASSES_ROOT;
    if (n == u"HKEY_CURRENT_USER" || n == u"HKCU") return HKEY_CURRENT_USER;
    if (n == u"HKEY_LOCAL_MACHINE" || n == u"HKLM") return HKEY_LOCAL_MACHINE;
    if (n == u"HKEY_USERS" || n == u"HKU") return HKEY_USERS;
    if (n == u"HKEY_CURRENT_CONFIG" || n == u"HKCC") return HKEY_CURRENT_CONFIG;
    return std::nullopt;
}

bool isRootHandle(HKEY h) {
    return h == HKEY_CLASSES_ROOT || h == HKEY_CURRENT_USER || h == HKEY_LOCAL_MACHINE || h == HKEY_USERS ||
           h == HKEY_CURRENT_CONFIG;
}

QString rootPath(HKEY root) { return QString::number(root, 16); }

bool isRootPath(const QString& path) { return !path.contains(u'\\'); }

// Joins a path below base; nullopt when a name in it is empty ("a\\b").
// One trailing backslash is allowed.
std::optional<QString> joinPath(const QString& base, QString sub) {
    if (sub.endsWith(u'\\')) sub.chop(1);
    if (sub.isEmpty()) return base;
    const QStringList names = sub.split(u'\\');
    for (const QString& name : names)
        if (name.isEmpty()) return std::nullopt;
    return base + u'\\' + sub.toLower();
}

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

class HiveParser {
public:
    HiveParser(const QString& file, Model& model) : file_(file), model_(model) {}

    // Applies the hive's text to the model; false when the text is damaged
    // (the model may then hold part of it: the caller works on a copy).
    bool apply(const QString& text) {
        lines_ = text.split(u'\n');
        for (QString& line : lines_)
            if (line.endsWith(u'\r')) line.chop(1);
        if (!readHeader()) return false;
        while (at_ < lines_.size()) {
            const QString line = lines_[at_++].trimmed();
            if (line.isEmpty() || line.startsWith(u';')) continue;
            if (line.startsWith(u'[')) {
                if (!keyLine(line)) return false;
            } else if (line.startsWith(u'"') || line.startsWith(u'@')) {
                if (!valueLine(line)) return false;
            } else {
                return false;
            }
        }
        return true;
    }

private:
    bool readHeader() {
        while (at_ < lines_.size()) {
            const QString line = lines_[at_++].trimmed();
            if (line.isEmpty()) continue;
            if (line == u"Windows Registry Editor Version 5.00") {
                unicode_ = true;
                return true;
            }
            return line == u"REGEDIT4";
        }
        return false;
    }

    bool keyLine(const QString& line) {
        if (!line.endsWith(u']')) return false;
        QString inner = line.mid(1, line.size() - 2);
        const bool remove = inner.startsWith(u'-');
        if (remove) inner.remove(0, 1);
        const qsizetype slash = inner.indexOf(u'\\');
        const auto root = rootByName(slash < 0 ? inner : inner.left(slash));
        if (!root) return false;
        const auto path = joinPath(rootPath(*root), slash < 0 ? QString() : inner.mid(slash + 1));
        if (!path) return false;
        if (remove) {
            const QString below = *path + u'\\';
            for (auto it = model_.begin(); it != model_.end();) {
                if (it.key() == *path || it.key().startsWith(below))
                    it = model_.erase(it);
                else
                    ++it;
            }
            key_.reset();
            return true;
        }
        key_ = *path;
        model_[*path].files.insert(file_);
        return true;
    }

    // "text" with \\ and \" escapes, from pos (at the opening quote); pos
    // ends after the closing quote.
    static std::optional<QString> quoted(const QString& line, qsizetype& pos) {
        if (pos >= line.size() || line[pos] != u'"') return std::nullopt;
        QString out;
        for (++pos; pos < line.size(); ++pos) {
            const QChar c = line[pos];
            if (c == u'"') {
                ++pos;
                return out;
            }
            if (c == u'\\') {
                if (pos + 1 >= line.size()) return std::nullopt;
                const QChar next = line[++pos];
                if (next != u'\\' && next != u'"') return std::nullopt;
                out += next;
            } else {
                out += c;
            }
        }
        return std::nullopt;  // no closing quote
    }

    static void skipBlanks(const QString& s, qsizetype& pos) {
        while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    }

    static std::optional<DWORD> hexNumber(const QString& digits, int maxDigits) {
        if (digits.isEmpty() || digits.size() > maxDigits) return std::nullopt;
        bool ok = false;
        const uint n = digits.toUInt(&ok, 16);
        if (!ok) return std::nullopt;
        for (QChar c : digits)
            if (!isxdigit(c.toLatin1())) return std::nullopt;  // no sign, no "0x"
        return DWORD(n);
    }

    bool valueLine(const QString& line) {
        if (!key_) return false;  // a value outside a key, or under a removed one
        qsizetype pos = 0;
        QString name;
        if (line[0] == u'@') {
            pos = 1;
        } else {
            const auto q = quoted(line, pos);
            if (!q) return false;
            name = q->toLower();
        }
        skipBlanks(line, pos);
        if (pos >= line.size() || line[pos] != u'=') return false;
        ++pos;
        skipBlanks(line, pos);
        const QString data = line.mid(pos);
        KeyData& key = model_[*key_];

        if (data == u"-") {
            key.values.remove(name);
            return true;
        }
        if (data.startsWith(u'"')) {
            qsizetype p = 0;
            const auto text = quoted(data, p);
            if (!text) return false;
            skipBlanks(data, p);
            if (p != data.size()) return false;
            QByteArray bytes = text->toLatin1();  // characters outside Latin-1 become '?'
            bytes.append('\0');
            key.values[name] = Value{REG_SZ, bytes};
            return true;
        }
        const QString lower = data.toLower();
        if (lower.startsWith(u"dword:")) {
            const auto n = hexNumber(data.mid(6).trimmed(), 8);
            if (!n) return false;
            QByteArray bytes(4, '\0');
            for (int i = 0; i < 4; ++i) bytes[i] = char((*n >> (8 * i)) & 0xFF);
            key.values[name] = Value{REG_DWORD, bytes};
            return true;
        }
        if (lower.startsWith(u"hex")) {
            DWORD type = REG_BINARY;
            qsizetype colon = 3;
            if (lower.startsWith(u"hex(")) {
                const qsizetype close = lower.indexOf(u')');
                if (close < 0) return false;
                const auto t = hexNumber(lower.mid(4, close - 4), 8);
                if (!t) return false;
                type = *t;
                colon = close + 1;
            }
            if (colon >= lower.size() || lower[colon] != u':') return false;
            QString list = data.mid(colon + 1).trimmed();
            // A long list runs on over lines ending in a backslash.
            while (list.endsWith(u'\\')) {
                list.chop(1);
                const QString next = at_ < lines_.size() ? lines_[at_++].trimmed() : QString();
                if (next.isEmpty()) return false;  // cut short
                list += next;
            }
            auto bytes = hexBytes(list);
            if (!bytes) return false;
            if (unicode_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
                *bytes = utf16ToLatin1(*bytes);
            key.values[name] = Value{type, *bytes};
            return true;
        }
        return false;
    }

    static std::optional<QByteArray> hexBytes(const QString& list) {
        QByteArray out;
        QString compact = list;
        compact.remove(u' ').remove(u'\t');
        if (compact.isEmpty()) return out;
        if (compact.endsWith(u',')) compact.chop(1);
        for (const QString& token : compact.split(u',')) {
            const auto b = hexNumber(token, 2);
            if (!b) return std::nullopt;
            out.append(char(*b));
        }
        return out;
    }

    // Strings of a version 5 file are UTF-16LE; the "A" functions hand them
    // out in the 8-bit code page.
    static QByteArray utf16ToLatin1(const QByteArray& bytes) {
        QString text;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text += QChar(char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8)));
        return text.toLatin1();
    }

    QString file_;
    Model& model_;
    QStringList lines_;
    qsizetype at_ = 0;
    bool unicode_ = false;
    std::optional<QString> key_;
};

// Applies one hive file over the model; a missing or damaged file leaves it
// as it was.
void applyHiveFile(const QString& file, Model& model) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return;
    if (f.size() > kLargestHive) return;
    const QByteArray bytes = f.read(kLargestHive + 1);
    if (bytes.size() > kLargestHive) return;
    Model next = model;
    HiveParser parser(file, next);
    if (parser.apply(decodeHive(bytes))) model = std::move(next);
}

QStringList effectiveFiles(const State& s) {
    return s.files.isEmpty() ? QStringList{systemHiveFile(), portableHiveFile()} : s.files;
}

Model loadModel(const State& s) {
    Model model;
    for (const QString& file : effectiveFiles(s)) applyHiveFile(file, model);
    return model;
}

bool keyExists(const Model& model, const QString& path) {
    if (isRootPath(path) || model.contains(path)) return true;
    const QString below = path + u'\\';
    auto it = model.lowerBound(below);
    return it != model.end() && it.key().startsWith(below);
}

// The hive files that hold the key or anything below it.
QSet<QString> filesOf(const Model& model, const QString& path) {
    QSet<QString> files;
    const QString below = path + u'\\';
    for (auto it = model.lowerBound(path); it != model.end(); ++it) {
        if (it.key() != path && !it.key().startsWith(below)) break;
        files.unite(it.value().files);
    }
    return files;
}

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
    const Model model = loadModel(s);
    if (!keyExists(model, *path)) return ERROR_FILE_NOT_FOUND;

    if (samDesired & kWriteRights) {
        // Writable only where every hive file that holds the key is.
        const QSet<QString> files = filesOf(model, *path);
        if (files.isEmpty()) return ERROR_ACCESS_DENIED;
        for (const QString& file : files)
            if (!userCanWrite(file)) return ERROR_ACCESS_DENIED;
    }

    while (s.nextHandle == 0 || isRootHandle(s.nextHandle) || s.open.contains(s.nextHandle)) s.nextHandle += 4;
    const HKEY handle = s.nextHandle;
    s.nextHandle += 4;
    s.open.insert(handle, OpenKey{*path, samDesired, model.value(*path).values});
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    State& s = state();
    std::lock_guard lock(s.mutex);

    QHash<QString, Value> values;
    if (isRootHandle(hKey)) {
        values = loadModel(s).value(rootPath(hKey)).values;
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
