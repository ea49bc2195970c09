// SPDX-License-Identifier: GPL-3.0-or-later
#include "source.h"

#include "dao/filekind.h"

#include <QFile>
#include <QFileInfo>

namespace transfer {

std::unique_ptr<Source> openSource(const QString& path, const QString& table) {
    const QFileInfo info(path);
    if (!info.exists()) throw TransferError(QStringLiteral("Could not find the file '%1'.").arg(path));
    if (!info.isFile()) throw TransferError(QStringLiteral("'%1' is not a file that can be read.").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TransferError(QStringLiteral("Could not open '%1': %2").arg(path, file.errorString()));
    const QByteArray head = file.read(100);
    file.close();
    switch (dao::fileKindOf(head)) {
    case dao::FileKind::AccessJet:
    case dao::FileKind::AccessAce:
        return openAccess(path, table);
    case dao::FileKind::SQLite:
        throw TransferError(QStringLiteral("'%1' is a Pacebook log (or another SQLite database), not a file to "
                                           "import. To bring back runs from a backup copy, export it first "
                                           "(pacebook-export '%1' --output runs.csv) and import runs.csv.")
                                .arg(path));
    default:
        if (!table.isEmpty())
            throw TransferError(QStringLiteral("'%1' is not a desktop-database file, so it has no tables: "
                                               "--table is for .mdb and .accdb files.")
                                    .arg(path));
        return openCsv(path);
    }
}

}  // namespace transfer
