// SPDX-License-Identifier: GPL-3.0-or-later
#include "registry/registry.h"
#include "support/tempdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

using namespace registry;

namespace {

const char* const kMsinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

class RegistryTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (HKEY h : opened_) RegCloseKey(h);
        setHiveFiles({});
    }

    QString writeHive(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.file(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }

    // Uses the given hive texts, in order, as the registry.
    void useHives(const std::vector<QByteArray>& texts) {
        QStringList files;
        for (size_t i = 0; i < texts.size(); ++i)
            files << writeHive(QStringLiteral("hive%1.reg").arg(i), texts[i]);
        setHiveFiles(files);
    }

    LONG open(const char* path, HKEY& key, REGSAM sam = KEY_READ, HKEY root = HKEY_LOCAL_MACHINE) {
        const LONG rc = RegOpenKeyExA(root, path, 0, sam, &key);
        if (rc == ERROR_SUCCESS) opened_.push_back(key);
        return rc;
    }

    // Reads a value of an open key into a 1024-byte buffer.
    LONG query(HKEY key, const char* name, DWORD& type, QByteArray& data) {
        BYTE buffer[1024] = {};
        DWORD size = sizeof buffer;
        type = 0xFFFF;
        const LONG rc = RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
        data = QByteArray(reinterpret_cast<const char*>(buffer), rc == ERROR_SUCCESS ? int(size) : 0);
        return rc;
    }

    // Opens kMsinfo and reads one value; the data is empty when anything fails.
    QByteArray msinfoValue(const char* name, DWORD* type = nullptr) {
        HKEY key = 0;
        if (open(kMsinfo, key) != ERROR_SUCCESS) return {};
        DWORD t = 0;
        QByteArray data;
        query(key, name, t, data);
        if (type) *type = t;
        return data;
    }

    testsupport::TempFolder dir_;
    std::vector<HKEY> opened_;
};

QByteArray utf16le(const QString& text) {
    auto encode = QStringEncoder(QStringEncoder::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encode(text));
}

}  // namespace

TEST_F(RegistryTest, stringComesBackInLatin1WithItsTerminatingNul) {
    useHives({"Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
              "\"PATH\"=\"/opt/caf\xC3\xA9 tools/info \\\"x\\\" \\\\y\"\n"
              "\"Greek\"=\"\xCE\xB1\"\n"});
    DWORD type = 0;
    EXPECT_EQ(msinfoValue("PATH", &type), QByteArray("/opt/caf\xE9 tools/info \"x\" \\y\0", 28));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(msinfoValue("Greek"), QByteArray("?\0", 2));  // not in the code page
}

TEST_F(RegistryTest, numbersAndByteListsKeepTheirTypesAndBytes) {
    useHives({"REGEDIT4\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n"
              "\"Count\"=dword:00000100\r\n"
              "\"Blob\"=hex:01,02,\\\r\n"
              "  ff\r\n"
              "\"Text\"=hex(1):61,62,00\r\n"
              "\"Empty\"=hex(1):\r\n"
              "\"Wide\"=hex(b):01,00,00,00,00,00,00,00\r\n"});
    DWORD type = 0;
    EXPECT_EQ(msinfoValue("Count", &type), QByteArray("\x00\x01\x00\x00", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(msinfoValue("Blob", &type), QByteArray("\x01\x02\xFF", 3));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(msinfoValue("Text", &type), QByteArray("ab\0", 3));  // REGEDIT4: bytes as written
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(msinfoValue("Empty", &type), QByteArray());
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(msinfoValue("Wide", &type).size(), 8);
    EXPECT_EQ(type, REG_QWORD);
}

TEST_F(RegistryTest, unicodeExportWithStringsAsUtf16IsReadInTheCodePage) {
    useHives({utf16le("Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\r\n"
                      "\"PATH\"=\"/usr/bin/caf\u00e9\"\r\n"
                      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n")});
    EXPECT_EQ(msinfoValue("PATH"), QByteArray("/usr/bin/caf\xE9\0", 14));
    EXPECT_EQ(msinfoValue("Multi"), QByteArray("a\0b\0\0", 5));
}

TEST_F(RegistryTest, namesOfKeysAndValuesMatchWithoutRegardToCase) {
    useHives({"REGEDIT4\n[HKLM\\Software\\microsoft\\SHARED TOOLS\\msinfo]\n\"path\"=\"/x\"\n@=\"default\"\n"});
    EXPECT_EQ(msinfoValue("PATH"), QByteArray("/x\0", 3));
    EXPECT_EQ(msinfoValue(""), QByteArray("default\0", 8));
    EXPECT_EQ(msinfoValue(nullptr), QByteArray("default\0", 8));
}

TEST_F(RegistryTest, missingKeysAndValuesAreNotFoundAndParentKeysExist) {
    useHives({"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/x\"\n"});
    HKEY key = 123;
    EXPECT_EQ(open("SOFTWARE\\Microsoft\\Shared Tools Location", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(open("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", key, KEY_READ, HKEY_CURRENT_USER),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("SOFTWARE\\\\Microsoft", key), ERROR_FILE_NOT_FOUND);

    HKEY parent = 0;
    ASSERT_EQ(open("SOFTWARE\\Microsoft\\", parent), ERROR_SUCCESS);
    HKEY child = 0;
    ASSERT_EQ(open("Shared Tools\\MSINFO", child, KEY_QUERY_VALUE, parent), ERROR_SUCCESS);
    DWORD type = 0;
    QByteArray data;
    EXPECT_EQ(query(child, "PATH", type, data), ERROR_SUCCESS);
    EXPECT_EQ(query(child, "MSINFO", type, data), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query(parent, "PATH", type, data), ERROR_FILE_NOT_FOUND);

    HKEY again = 0;
    ASSERT_EQ(open("", again, KEY_READ, child), ERROR_SUCCESS);
    EXPECT_NE(again, child);
    EXPECT_EQ(query(again, "PATH", type, data), ERROR_SUCCESS);
}

TEST_F(RegistryTest, aBufferTooSmallGivesMoreDataAndTheSizeNeeded) {
    useHives({"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n"
              "\"Long\"=\"" + QByteArray(1024, 'a') + "\"\n"});
    HKEY key = 0;
    ASSERT_EQ(open(kMsinfo, key), ERROR_SUCCESS);
    DWORD type = 0;
    QByteArray data;
    EXPECT_EQ(query(key, "Long", type, data), ERROR_MORE_DATA);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 1025u);
    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 1025u);
    EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, handlesThatAreNotOpenAreRefused) {
    useHives({"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/x\"\n"});
    EXPECT_EQ(RegCloseKey(0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    HKEY key = 0;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMsinfo, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD type = 0;
    QByteArray data;
    EXPECT_EQ(query(key, "PATH", type, data), ERROR_INVALID_HANDLE);
    HKEY child = 0;
    EXPECT_EQ(RegOpenKeyExA(key, "x", 0, KEY_READ, &child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMsinfo, 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, aKeyOpenedWithoutQueryRightsCannotBeRead) {
    useHives({"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/x\"\n"});
    HKEY key = 0;
    ASSERT_EQ(open(kMsinfo, key, KEY_ENUMERATE_SUB_KEYS), ERROR_SUCCESS);
    DWORD type = 0;
    QByteArray data;
    EXPECT_EQ(query(key, "PATH", type, data), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, aDamagedHiveReadsAsNoValues) {
    const QByteArray key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
    const std::vector<QByteArray> damaged = {
        "",                                                  // empty file
        key + "\"PATH\"=\"/x\"\n",                           // no header
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\n",              // string not closed
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\" junk\n",       // text after the string
        "REGEDIT4\n" + key + "\"PATH\"=\"c:\\tools\"\n",     // a backslash that is no escape
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\"\n\"N\"=dword:1234567890\n",
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\"\n\"N\"=hex:01,zz\n",
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\"\n\"N\"=hex:01,\\\n",  // continued past the end
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\"\n\"N\"=sz:abc\n",
        "REGEDIT4\n\"PATH\"=\"/x\"\n" + key,                 // a value outside any key
        "REGEDIT4\n[HKEY_NOWHERE\\SOFTWARE]\n" + key + "\"PATH\"=\"/x\"\n",
        "REGEDIT4\n" + key + "\"PATH\"=\"/x\"\nPATH=/y\n",
        "REGEDIT4\n" + key.left(key.size() - 2) + "\n\"PATH\"=\"/x\"\n",  // key line not closed
        QByteArray("REGEDIT4\n") + key + "\"PATH\"=\"/x\"\n" + QByteArray(5 * 1024 * 1024, ';'),
    };
    for (size_t i = 0; i < damaged.size(); ++i) {
        useHives({damaged[i]});
        HKEY h = 0;
        EXPECT_EQ(open(kMsinfo, h), ERROR_FILE_NOT_FOUND) << "case " << i;
    }

    // A damaged hive after a sound one leaves the sound one's values.
    useHives({"REGEDIT4\n" + key + "\"PATH\"=\"/good\"\n", "REGEDIT4\n" + key + "\"PATH\"=\"/bad\n"});
    EXPECT_EQ(msinfoValue("PATH"), QByteArray("/good\0", 6));
}

TEST_F(RegistryTest, laterHivesApplyOverEarlierOnes) {
    const QByteArray key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
    const QByteArray location = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";
    useHives({"REGEDIT4\n" + key + "\"PATH\"=\"/system\"\n\"Keep\"=\"k\"\n\"Gone\"=\"g\"\n" + location +
                  "\"MSINFO\"=\"/dir\"\n",
              "REGEDIT4\n; portable\n" + key + "\"PATH\"=\"/portable\"\n\"Gone\"=-\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n"});
    EXPECT_EQ(msinfoValue("PATH"), QByteArray("/portable\0", 10));
    EXPECT_EQ(msinfoValue("Keep"), QByteArray("k\0", 2));
    EXPECT_EQ(msinfoValue("Gone"), QByteArray());
    HKEY h = 0;
    EXPECT_EQ(open("SOFTWARE\\Microsoft\\Shared Tools Location", h), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, aRemovalTakesTheKeyAndWhatLiesBelowItAndNothingBeside) {
    useHives({"REGEDIT4\n"
              "[HKLM\\T\\A]\n\"v\"=\"1\"\n"
              "[HKLM\\T\\A B]\n\"v\"=\"2\"\n"  // sorts between A and what lies below it
              "[HKLM\\T\\A\\C]\n\"v\"=\"3\"\n[HKLM\\T\\A\\C\\D]\n"
              "[HKLM\\T\\Z]\n"
              "[-hklm\\t\\a]\n"
              "[HKLM\\T\\A]\n\"w\"=\"4\"\n"  // made again: without its old values
              "[HKLM\\T\\Solo\\Child]\n[-HKLM\\T\\Solo\\Child]\n"});
    struct Case {
        const char* key;
        LONG opens;
        const char* value;
        QByteArray data;  // empty: no such value
    };
    for (const Case& c : std::initializer_list<Case>{{"T\\A", ERROR_SUCCESS, "v", {}},
                                                     {"T\\A", ERROR_SUCCESS, "w", QByteArray("4\0", 2)},
                                                     {"T\\A B", ERROR_SUCCESS, "v", QByteArray("2\0", 2)},
                                                     {"T\\A\\C", ERROR_FILE_NOT_FOUND, "", {}},
                                                     {"T\\A\\C\\D", ERROR_FILE_NOT_FOUND, "", {}},
                                                     {"T\\Z", ERROR_SUCCESS, "", {}},
                                                     {"T\\Solo", ERROR_FILE_NOT_FOUND, "", {}},
                                                     {"T", ERROR_SUCCESS, "", {}}}) {
        HKEY key = 0;
        ASSERT_EQ(open(c.key, key), c.opens) << c.key;
        if (c.opens != ERROR_SUCCESS) continue;
        DWORD type = 0;
        QByteArray data;
        EXPECT_EQ(query(key, c.value, type, data), c.data.isEmpty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS) << c.key;
        EXPECT_EQ(data, c.data) << c.key << " " << c.value;
    }

    // The whole root goes, and what a later line lists is there again.
    useHives({"REGEDIT4\n[HKLM\\T\\A]\n[HKLM\\U]\n[-HKEY_LOCAL_MACHINE]\n[HKLM\\U\\V]\n"});
    HKEY key = 0;
    EXPECT_EQ(open("T\\A", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open("U\\V", key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, aHiveThatIsNotARegularFileIsNotReadAndNothingWaitsForIt) {
    const QByteArray sound = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/x\"\n";
    const QString fifo = dir_.file("fifo.reg");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString folder = dir_.file("folder.reg");
    QDir().mkpath(folder);
    const QString linkToFifo = dir_.file("link.reg");
    QFile::link(fifo, linkToFifo);
    const QString linkToDevice = dir_.file("device.reg");
    QFile::link(QStringLiteral("/dev/zero"), linkToDevice);
    for (const QString& odd : {fifo, linkToFifo, folder, linkToDevice}) {
        // Read in a child that an alarm ends if anything blocks (a FIFO
        // without a writer blocks an ordinary open for ever).
        const QString good = writeHive(QStringLiteral("good.reg"), sound);
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(5);
            setHiveFiles({odd, good});
            HKEY key = 0;
            const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMsinfo, 0, KEY_READ, &key);
            _exit(rc == ERROR_SUCCESS ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << odd.toStdString() << (WIFSIGNALED(status) ? ": blocked" : ": the sound hive was not read");
    }
}

TEST_F(RegistryTest, defaultHivesAreTheSystemOneThenTheOneBesideTheProgram) {
    setHiveFiles({});
    ASSERT_EQ(hiveFiles().size(), 2);
    EXPECT_EQ(hiveFiles()[0], QStringLiteral("/etc/xdg/Pacebook/system.reg"));
    EXPECT_TRUE(hiveFiles()[1].endsWith(QStringLiteral("/system.reg")));
    EXPECT_EQ(hiveFiles()[1], portableHiveFile());
}

namespace {
// Runs f in a child process as an ordinary user when this test runs as root
// (root may write any file), else in a child as the current user. Returns
// f's result, or -1 when the child failed.
int runAsOrdinaryUser(const std::function<int()>& f) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(255);
        _exit(f() & 0xFF);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    return WEXITSTATUS(status);
}
}  // namespace

TEST_F(RegistryTest, writeRightsOnAHiveTheUserCannotWriteAreDeniedAndReadingWorks) {
    useHives({"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/x\"\n"});
    const QString file = hiveFiles()[0];
    QFile::setPermissions(dir_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadOther | QFileDevice::ExeOther);
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadOther);

    auto openWith = [](REGSAM sam) {
        return [sam] {
            HKEY key = 0;
            const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMsinfo, 0, sam, &key);
            if (rc == ERROR_SUCCESS) RegCloseKey(key);
            return int(rc);
        };
    };
    EXPECT_EQ(runAsOrdinaryUser(openWith(KEY_ALL_ACCESS)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(runAsOrdinaryUser(openWith(KEY_WRITE)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(runAsOrdinaryUser(openWith(KEY_READ)), ERROR_SUCCESS);
    EXPECT_EQ(runAsOrdinaryUser(openWith(KEY_QUERY_VALUE)), ERROR_SUCCESS);
    EXPECT_EQ(runAsOrdinaryUser(openWith(KEY_READ)), ERROR_SUCCESS);

    // The owner of a writable hive may ask for everything.
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    HKEY key = 0;
    EXPECT_EQ(open(kMsinfo, key, KEY_ALL_ACCESS), ERROR_SUCCESS);
    // A root key no hive holds cannot be written.
    EXPECT_EQ(open("", key, KEY_ALL_ACCESS, HKEY_USERS), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, theSetUpScriptWritesAHiveThatNamesAnInstalledTool) {
    const QString script =
        QStringLiteral(PACEBOOK_SOURCE_DIR "/scripts/write-sysinfo-hive");
    ASSERT_TRUE(QFileInfo(script).isExecutable()) << script.toStdString();
    const QString bin = dir_.file("bin");
    QDir().mkpath(bin);
    const QString tool = bin + "/hardinfo";
    writeHive("bin/hardinfo", "#!/bin/sh\n");
    QFile::setPermissions(tool, QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    const QString hive = dir_.file("etc/system.reg");
    auto runScript = [&](const QString& path) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", path);
        env.insert("PACEBOOK_SYSTEM_HIVE", hive);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("/bin/bash"), {script});
        EXPECT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    };
    runScript(bin + ":/usr/bin:/bin");
    setHiveFiles({hive});
    EXPECT_EQ(msinfoValue("PATH"), (tool + QChar(u'\0')).toLatin1());

    // Once the tool is gone, so is the hive (unless this machine has one).
    QFile::remove(tool);
    for (const char* name : {"hardinfo2", "hardinfo", "gnome-system-monitor", "mate-system-monitor",
                             "plasma-systemmonitor", "ksysguard", "lshw-gtk", "xfce4-taskmanager", "lxtask"}) {
        if (!QStandardPaths::findExecutable(name, {"/usr/bin", "/bin"}).isEmpty())
            GTEST_SKIP() << name << " is installed here";
    }
    runScript(bin + ":/usr/bin:/bin");
    EXPECT_FALSE(QFile::exists(hive));
}
