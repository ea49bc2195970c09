// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The writer helper (helper/writer.cpp) as a child process: started with a
// pipe on its standard output, read a line at a time, killed or waited for.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace testsupport {

class Child {
public:
    // Starts program with args; its standard output comes back through a pipe.
    explicit Child(const QStringList& command) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<QByteArray> bytes;
        for (const QString& a : command) bytes.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& b : bytes) argv.push_back(b.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (fd_ >= 0) ::close(fd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }

    // The next line, or nothing at the end of the output or after timeoutMs.
    std::optional<QString> line(int timeoutMs = 60000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const int nl = buffer_.indexOf('\n');
            if (nl >= 0) {
                const QString out = QString::fromUtf8(buffer_.left(nl));
                buffer_.remove(0, nl + 1);
                return out;
            }
            if (eof_) return std::nullopt;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return std::nullopt;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) eof_ = true;
            else buffer_.append(chunk, int(n));
        }
    }

    // Every line still to come, up to the end of the output.
    QStringList rest(int timeoutMs = 60000) {
        QStringList out;
        while (auto l = line(timeoutMs)) out << *l;
        return out;
    }

    void kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
    }

    // Waits for the end; the exit status (or 128 + signal).
    int wait() {
        if (pid_ <= 0) return status_;
        int st = 0;
        while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = -1;
    QByteArray buffer_;
    bool eof_ = false;
};

#ifdef PB_WRITER
inline QString writerProgram() { return QStringLiteral(PB_WRITER); }
#endif

// A folder for logs that many children write: on a memory file system
// when there is one (a killed process leaves its writes in the page cache
// either way; only the flushing to disk would be slower).
// PB_REL_DIR names another place (say, a folder on a disk).
class FastFolder {
public:
    FastFolder() : dir_(QDir(place()).filePath(QStringLiteral("pacebook-rel-XXXXXX"))) {}
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    bool isValid() const { return dir_.isValid(); }

private:
    static QString place() {
        if (const char* chosen = std::getenv("PB_REL_DIR")) return QString::fromLocal8Bit(chosen);
        if (QDir(QStringLiteral("/dev/shm")).exists() && ::access("/dev/shm", W_OK) == 0) return QStringLiteral("/dev/shm");
        return QDir::tempPath();
    }
    QTemporaryDir dir_;
};

// A repetition count from the environment (the soak script raises them).
inline int repetitions(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

}  // namespace testsupport
