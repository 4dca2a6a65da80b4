// TORWIN.INI on POSIX systems: our own profile layer over the text edits,
// with the file replaced as a whole.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "profile.hpp"
#include "profile_text.hpp"

namespace quarveld {
namespace {

enum class ReadResult { Read, Missing, Failed };

// A symbolic link that leads nowhere is no missing file: the user made it.
std::string DanglingLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return "";
    return "it is a link to " + std::string(target, static_cast<std::size_t>(n)) + ", which is not there";
}

std::string TooLarge() { return "it is over 1 MB long, too large for a settings file"; }

// Only a regular file is read, and at most LargestProfile bytes of it. Opened
// without waiting, so that a pipe in its place cannot hold up the start; `why`
// says what stands there instead.
ReadResult ReadWhole(const std::string& path, std::string& contents, std::string& why) {
    contents.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            why = DanglingLink(path);
            return why.empty() ? ReadResult::Missing : ReadResult::Failed;
        }
        why = errno == ENXIO ? "it is not a file" : std::strerror(errno);
        return ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) why = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) why = "it is a folder, not a file";
    else if (S_ISFIFO(st.st_mode)) why = "it is a pipe, not a file";
    else if (!S_ISREG(st.st_mode)) why = "it is a device, not a file";
    else if (static_cast<unsigned long long>(st.st_size) > LargestProfile) why = TooLarge();
    char buffer[4096];
    while (why.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) why = std::strerror(errno);
        if (n <= 0) break;
        // A file that grows while it is read is held to the same bound.
        if (contents.size() + static_cast<std::size_t>(n) > LargestProfile) why = TooLarge();
        else contents.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (why.empty()) return ReadResult::Read;
    contents.clear();
    return ReadResult::Failed;
}

bool WriteAll(int fd, const std::string& contents) {
    const char* p = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// How long a save waits for another program's save of the same file.
constexpr auto LockWait = std::chrono::seconds(5);

std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISSOCK(mode)) return "a socket";
    return "a device";
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The one temporary file of a replacement, locked. Its name is fixed, so a
// save that was killed half way leaves at most this one file behind, and the
// next save takes it over. The lock keeps two saves apart; one that waited
// checks that the name still leads to the file it holds, since the other may
// have renamed that file into place meanwhile. Nothing here can wait for
// ever: what stands in the name is looked at before it is opened, and the
// lock is waited for a bounded time.
int OpenTemporary(const std::string& temp, std::string& why) {
    const auto until = std::chrono::steady_clock::now() + LockWait;
    for (;;) {
        struct stat named {};
        if (::lstat(temp.c_str(), &named) == 0 && !S_ISREG(named.st_mode)) {
            why = temp + " stands in the way of the save: it is " + KindOf(named.st_mode) +
                  ", not a file; remove it";
            return -1;
        }
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            if ((error == EACCES || error == EPERM) && ::lstat(temp.c_str(), &named) == 0) {
                // Left by an earlier save of another user: taken away where the folder allows it.
                if (::unlink(temp.c_str()) == 0) continue;
                if (errno == EPERM || ::access(FolderOf(temp).c_str(), W_OK) == 0) {
                    why = temp + " was left by an earlier save, and you may not remove it; its owner or an "
                                 "administrator can";
                    return -1;
                }
            }
            why = std::strerror(error);
            return -1;
        }
        struct stat held {};
        int locked;
        while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && (errno == EWOULDBLOCK || errno == EINTR)) {
            if (std::chrono::steady_clock::now() >= until) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (locked != 0 || ::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            const int error = errno;
            ::close(fd);
            why = locked != 0 && (error == EWOULDBLOCK || error == EINTR)
                      ? "another program is saving the file; try again when it is done"
                      : std::strerror(error);
            return -1;
        }
        const bool found = ::lstat(temp.c_str(), &named) == 0;
        if (found && named.st_dev == held.st_dev && named.st_ino == held.st_ino) return fd;
        const int error = errno;
        ::close(fd);
        if (found || error == ENOENT) continue;  // taken away by the other save: start again
        why = std::strerror(error);
        return -1;
    }
}

// Writes `contents` to `path` through the temporary file beside it, flushed
// to disk, renamed over the old file, and the folder flushed after it, so
// that the file holds either the old or the new text, also after a crash.
bool ReplaceFileContents(const std::string& path, const std::string& contents, std::string& why) {
    // Through a symbolic link the file it points at is replaced, not the link.
    std::string target = path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;

    // The Windows profile functions leave a read-only file alone, also for an
    // administrator; so does this, judged by the write bits alone for root.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 &&
        (::geteuid() == 0 ? (old.st_mode & 0222) == 0
                          : ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES)) {
        why = "the file is write-protected";
        return false;
    }

    const std::string folder = FolderOf(target);
    const std::size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string temp = folder + "/." + base + ".saving";

    const int fd = OpenTemporary(temp, why);
    if (fd < 0) return false;

    // Keep the old file's permissions; a new file gets the usual ones.
    mode_t mode;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    bool ok = ::ftruncate(fd, 0) == 0 && ::fchmod(fd, mode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0 &&
              ::rename(temp.c_str(), target.c_str()) == 0;
    if (ok) {
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // Some file systems cannot flush a folder; the rename stands all the same.
        if (dir >= 0) {
            if (::fsync(dir) != 0 && errno == EIO) ok = false;
            ::close(dir);
        }
    }
    if (!ok) {
        why = std::strerror(errno);
        ::unlink(temp.c_str());  // still ours: the lock is held until the close
    }
    ::close(fd);
    return ok;
}

}  // namespace

ProfileFile::ProfileFile(const std::string& path) : path_(path) {
    std::string contents;
    if (ReadWhole(path, contents, problem_) == ReadResult::Read) values_ = IndexProfile(contents);
}

std::string ProfileFile::Get(const std::string& section, const std::string& key,
                             const std::string& defaultValue) const {
    const auto found = values_.find(ProfileValueKey(section, key));
    return found == values_.end() ? defaultValue : found->second;
}

std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
    return ProfileFile(path).Get(section, key, defaultValue);
}

std::string ProfileReadProblem(const std::string& path) { return ProfileFile(path).problem(); }

bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries,
                         std::string* why) {
    for (const auto& [key, value] : entries) {
        if (!StorableProfileEntry(section, key, value)) {
            if (why) *why = "the name or the value \"" + key + "\" cannot be stored";
            return false;
        }
    }
    std::string contents, reason;
    // A file that exists but cannot be read is left alone rather than replaced
    // by one holding only these keys.
    if (ReadWhole(path, contents, reason) == ReadResult::Failed ||
        !ReplaceFileContents(path, SetProfileValues(contents, section, entries), reason)) {
        if (why) *why = reason;
        return false;
    }
    return true;
}

}  // namespace quarveld
