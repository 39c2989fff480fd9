#include "host/setup/file_save.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace axis {

namespace {

bool (*g_save_interrupt_hook)() = nullptr;

std::string Reason() {
    return std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// 16 hex digits from the kernel's random source: a name nobody can prepare a file or a
// link under in advance.
std::string RandomTag() {
    unsigned char bytes[8];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        std::random_device device;
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
    }
    static const char kHex[] = "0123456789abcdef";
    std::string tag;
    for (unsigned char b : bytes) {
        tag += kHex[b >> 4];
        tag += kHex[b & 15];
    }
    return tag;
}

// A hidden, unpredictable name next to the target, for the temporary file and the
// backup in the making.
std::string SiblingName(const std::string& path, const char* kind) {
    return FolderOf(path) + "/." + NameOf(path) + "." + RandomTag() + kind;
}

// Creates a new file exclusively: O_EXCL refuses any name that exists, a link included,
// so nothing is ever written through a link left in the folder.
int CreateExclusive(const std::string& path, const char* kind, std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = SiblingName(path, kind);
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes `bytes` into a new exclusive file next to `path`, synced to disk. Empty on
// failure, with nothing left behind.
std::string WriteTemporary(const std::string& path, const char* kind, std::string_view bytes,
                           const struct stat* keep_mode_of, std::string& error) {
    std::string name;
    const int fd = CreateExclusive(path, kind, name);
    if (fd < 0) {
        error = path + ": cannot create a file in " + FolderOf(path) + " (" + Reason() + ")";
        return {};
    }
    // The new version keeps the permissions of the file it replaces.
    bool ok = !keep_mode_of || ::fchmod(fd, keep_mode_of->st_mode & 07777) == 0;
    if (ok) ok = WriteAll(fd, bytes);
    if (ok) ok = ::fsync(fd) == 0;
    const std::string why = ok ? std::string() : Reason();
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = path + ": writing failed (" + Reason() + ")";
    } else if (!ok) {
        error = path + ": writing failed (" + why + ")";
    }
    if (!ok) {
        ::unlink(name.c_str());
        return {};
    }
    return name;
}

std::string ReadWhole(const std::string& path, bool& ok) {
    ok = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return {};
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    ok = true;
    return text;
}

// Makes PATH.bak the file now at PATH. The new backup is made under a temporary name and
// renamed over the old one, so an old backup is only ever replaced by a complete new one.
// A hard link costs nothing and leaves PATH itself in place; where the file system has
// no hard links the file is copied.
std::string MakeBackup(const std::string& path, const std::string& backup, const struct stat& old) {
    std::string name;
    bool linked = false;
    for (int attempt = 0; attempt < 16 && !linked; ++attempt) {
        name = SiblingName(path, ".bak");
        if (::link(path.c_str(), name.c_str()) == 0)
            linked = true;
        else if (errno != EEXIST)
            break;
    }
    std::string error;
    if (!linked) {
        bool read = false;
        const std::string text = ReadWhole(path, read);
        if (!read)
            return backup + ": the backup cannot be made, " + path + " cannot be read (" +
                   Reason() + "); nothing saved";
        name = WriteTemporary(path, ".bak", text, &old, error);
        if (name.empty())
            return backup + ": the backup cannot be made (" + error + "); nothing saved";
    }
    if (std::rename(name.c_str(), backup.c_str()) != 0) {
        const std::string why = Reason();
        ::unlink(name.c_str());
        return backup + ": the backup cannot be made (" + why + "); nothing saved";
    }
    return {};
}

// Makes the rename durable: without it a crash could bring back the old directory entry.
void SyncFolder(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "not a regular file";
}

}  // namespace

void SetSaveInterruptHookForTesting(bool (*hook)()) {
    g_save_interrupt_hook = hook;
}

std::string SaveFileAtomically(const std::string& path, std::string_view bytes,
                               const SaveOptions& options) {
    if (path.empty()) return "no file name given";
    struct stat old {};
    bool exists = false;
    if (::lstat(path.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) return path + ": is " + KindOf(old.st_mode) + "; nothing saved";
        exists = true;
    } else if (errno != ENOENT) {
        return path + ": " + Reason();
    }
    const std::string backup = path + ".bak";
    const bool make_backup = options.keep_backup && exists;
    if (make_backup) {
        struct stat bak {};
        if (::lstat(backup.c_str(), &bak) == 0 && !S_ISREG(bak.st_mode))
            return backup + ": is " + KindOf(bak.st_mode) + ", so the backup cannot be made; " +
                   "nothing saved";
    }

    std::string error;
    const std::string temporary =
        WriteTemporary(path, ".tmp", bytes, exists ? &old : nullptr, error);
    if (temporary.empty()) return error;
    if (g_save_interrupt_hook && !g_save_interrupt_hook()) return path + ": save interrupted";
    if (make_backup) {
        error = MakeBackup(path, backup, old);
        if (!error.empty()) {
            ::unlink(temporary.c_str());
            return error;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string why = Reason();
        ::unlink(temporary.c_str());
        return path + ": the new file could not replace the old one (" + why + ")";
    }
    SyncFolder(path);
    return {};
}

}  // namespace axis
