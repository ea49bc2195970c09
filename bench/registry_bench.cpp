// SPDX-License-Identifier: GPL-3.0-or-later
// The registry over a hive file of 4 MB: many keys, values and removal
// lines, read when the About box looks for the system-information tool.

#include "harness.h"

#include "registry/registry.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <stdexcept>

namespace {

constexpr qsizetype kHiveBytes = 4 * 1024 * 1024 - 4096;  // just under the largest hive read

// A hive of numbered keys, each with two values; every other key removes
// one made earlier, and the tool's key comes last.
QByteArray bigHive() {
    QByteArray hive = "Windows Registry Editor Version 5.00\r\n\r\n";
    const QByteArray tail = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n"
                            "\"PATH\"=\"/usr/bin/true\"\r\n";
    for (int i = 0;; ++i) {
        const QByteArray n = QByteArray::number(i);
        QByteArray lines = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Vendor " + QByteArray::number(i % 97) + "\\Key " +
                           n + "]\r\n\"Name\"=\"value " + n + "\"\r\n\"Count\"=dword:" +
                           QByteArray::number(i, 16).rightJustified(8, '0') + "\r\n";
        if (i % 2)
            lines += "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Vendor " + QByteArray::number((i / 2) % 97) +
                     "\\Key " + QByteArray::number(i / 2) + "]\r\n";
        if (hive.size() + lines.size() + tail.size() > kHiveBytes) break;
        hive += lines;
    }
    return hive + tail;
}

// The hive written once into a folder of its own, and named to the registry.
struct Hive {
    Hive() {
        QFile f(dir.filePath(QStringLiteral("system.reg")));
        if (!f.open(QIODevice::WriteOnly) || f.write(bigHive()) < 0) throw std::runtime_error("cannot write the hive");
        path = f.fileName();
    }
    QTemporaryDir dir;
    QString path;
};

const Hive& hive() {
    static const Hive h;
    return h;
}

bench::Registrar hiveCase({
    .name = "registry_4mb_hive",
    .run =
        [](bench::Context& c) {
            registry::setHiveFiles({hive().path});
            registry::HKEY key = 0;
            const double ms = bench::timeMs([&] {
                if (registry::RegOpenKeyExA(registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                            0, registry::KEY_READ, &key) != registry::ERROR_SUCCESS)
                    throw std::runtime_error("the tool's key was not found");
            });
            registry::RegCloseKey(key);
            registry::setHiveFiles({});
            c.extra["hive_bytes"] = double(QFile(hive().path).size());
            return ms;
        },
    // Reading the file and splitting it into lines, the least a parser does.
    .anchor =
        [](bench::Context&) {
            return bench::timeMs([&] {
                QFile f(hive().path);
                if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read the hive");
                const QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
                if (lines.size() < 2) throw std::runtime_error("no lines");
            });
        },
    .goal = "under 100 ms",
    .maxRows = 10000,
});

}  // namespace
