// SPDX-License-Identifier: GPL-3.0-or-later
#include "dao.h"

#include <QDir>

namespace dao {

QString resolveFileName(const QString& path) {
    QString p = path;
    p.replace(u'\\', u'/');
    // "C:/dir/" + "/Run.mdb" or a folder at the root: doubled separators are one.
    while (p.contains(QLatin1String("//"))) p.replace(QLatin1String("//"), QLatin1String("/"));
    const int slash = p.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : p.left(slash));
    const QString name = p.mid(slash + 1);
    if (name.isEmpty()) return p;
    // The file system tells names apart by case; the program's names do not.
    // Should the folder hold several spellings of the name, every spelling
    // reaches the same one of them (the first in sorted order).
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return p.left(slash + 1) + entry;
    }
    return p;
}

}  // namespace dao
