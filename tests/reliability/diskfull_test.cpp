// SPDX-License-Identifier: GPL-3.0-or-later
// A full disk: the save says so, the program goes on, the file is sound
// and every acknowledged entry is in it. The writer runs on a small file
// system of its own (a private mount namespace).

#include "child.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testsupport;

TEST(DiskFullTest, fullDiskIsReportedAndLosesNothing) {
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    // As root a mount namespace is enough; otherwise a user namespace too.
    const QString unshare = geteuid() == 0 ? QStringLiteral("-m") : QStringLiteral("-rm");
    Child child({QStringLiteral("unshare"), unshare, QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("mount -t tmpfs -o size=512k pacebook-full \"$0\" && exec \"$1\" fill \"$0\""),
                 mountPoint.path(), writerProgram()});
    const QStringList lines = child.rest(120000);
    const int status = child.wait();
    if (lines.isEmpty() && status != 0)
        GTEST_SKIP() << "cannot mount a small file system here (unshare " << unshare.toStdString()
                     << " and mount -t tmpfs need the right to make a mount namespace)";

    long long acked = 0;
    QString error, readable, recovered, integrity, present;
    for (const QString& l : lines) {
        if (l.startsWith(QLatin1String("A "))) acked = l.mid(2).toLongLong();
        else if (l.startsWith(QLatin1String("E "))) error = l.mid(2);
        else if (l.startsWith(QLatin1String("readable "))) readable = l.mid(9);
        else if (l.startsWith(QLatin1String("recovered "))) recovered = l.mid(10);
        else if (l.startsWith(QLatin1String("integrity "))) integrity = l.mid(10);
        else if (l.startsWith(QLatin1String("present "))) present = l.mid(8);
    }
    EXPECT_EQ(status, 0) << lines.join(u'\n').toStdString();
    EXPECT_GT(acked, 10);
    EXPECT_TRUE(error.startsWith(QLatin1String("3026 "))) << error.toStdString();
    EXPECT_TRUE(error.contains(QLatin1String("disk"), Qt::CaseInsensitive)) << error.toStdString();
    EXPECT_EQ(readable, QString::number(acked - 1)) << "rows readable after the failure";
    EXPECT_EQ(recovered, QStringLiteral("yes"));
    EXPECT_EQ(integrity, QStringLiteral("ok"));
    EXPECT_EQ(present, QString::number(acked));
    std::printf("[ figures  ] full disk: %lld entries acknowledged, then \"%s\"; integrity_check %s; %s of %lld "
                "acknowledged present; next save after freeing space: %s\n",
                acked - 1, error.toUtf8().constData(), integrity.toUtf8().constData(), present.toUtf8().constData(),
                acked, recovered.toUtf8().constData());
}
