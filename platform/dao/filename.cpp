// SPDX-License-Identifier: GPL-3.0-or-later
#include "dao.h"

#include <QDir>
#include <QFileInfo>

namespace dao {

namespace {

// Repeated separators are one ("C:/dir/" + "/Run.mdb", a folder at the root).
QString collapseSeparators(QString p) {
    while (p.contains(QLatin1String("//"))) p.replace(QLatin1String("//"), QLatin1String("/"));
    return p;
}

// Splits a path written with backslashes into the folder, as the file system
// names it, and the rest. A folder's own name may hold a backslash (on this
// file system it is an ordinary character): the folder is the longest
// beginning of the path, up to a separator, that names an existing folder
// as written; only the separators after it are the path's own. When none
// exists, every backslash is a separator.
void splitFolder(const QString& path, QString& folder, QString& rest) {
    for (qsizetype at = path.size() - 1; at > 0; --at) {
        const QChar c = path.at(at);
        if (c != u'/' && c != u'\\') continue;
        const QString head = path.left(at);
        if (QFileInfo(head).isDir()) {
            folder = head;
            rest = path.mid(at + 1);
            rest.replace(u'\\', u'/');
            return;
        }
    }
    folder.clear();
    rest = path;
    rest.replace(u'\\', u'/');
}

// The log's own spelling. A folder that holds it and a stray copy under
// another spelling (RUN.MDB, say) opens the log itself, whichever way the
// program wrote the name.
const QString kLogSpelling = QStringLiteral("Run.mdb");

// The entry of folder that name reaches: the log's own spelling when the
// name is one of its spellings and it is there; else the name as written
// when it is there; else any spelling of it (the first in sorted order);
// else the name as written.
QString matchName(const QString& folder, const QString& name) {
    const QDir dir(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (name.compare(kLogSpelling, Qt::CaseInsensitive) == 0 && QFileInfo::exists(dir.filePath(kLogSpelling)))
        return kLogSpelling;
    if (QFileInfo::exists(dir.filePath(name))) return name;
    const QStringList entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return entry;
    }
    return name;
}

}  // namespace

QString resolveFileName(const QString& path) {
    QString folder;
    QString rest;
    splitFolder(path, folder, rest);
    QString p = collapseSeparators(folder.isEmpty() ? rest : folder + u'/' + rest);
    const qsizetype slash = p.lastIndexOf(u'/');
    const QString name = p.mid(slash + 1);
    if (name.isEmpty()) return p;
    const QString dir = slash < 0 ? QString() : (slash == 0 ? QStringLiteral("/") : p.left(slash));
    return p.left(slash + 1) + matchName(dir, name);
}

}  // namespace dao
