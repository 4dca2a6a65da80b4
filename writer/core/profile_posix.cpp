// TORWIN.INI on POSIX systems: our own profile layer over the text edits,
// with the file replaced as a whole.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "profile.hpp"
#include "profile_text.hpp"

namespace quarveld {
namespace {

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string& contents, int& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    contents.clear();
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Read;
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

// The one temporary file of a replacement, locked. Its name is fixed, so a
// save that was killed half way leaves at most this one file behind, and the
// next save takes it over. The lock keeps two saves apart; one that waited
// checks that the name still leads to the file it holds, since the other may
// have renamed that file into place meanwhile.
int OpenTemporary(const std::string& temp) {
    for (;;) {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
        int locked;
        do locked = ::flock(fd, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        struct stat held {}, named {};
        if (locked != 0 || ::fstat(fd, &held) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        const bool found = ::lstat(temp.c_str(), &named) == 0;
        if (found && named.st_dev == held.st_dev && named.st_ino == held.st_ino) return fd;
        const int error = errno;
        ::close(fd);
        if (found || error == ENOENT) continue;  // taken away by the other save: start again
        errno = error;
        return -1;
    }
}

// Writes `contents` to `path` through the temporary file beside it, flushed
// to disk, renamed over the old file, and the folder flushed after it, so
// that the file holds either the old or the new text, also after a crash.
bool ReplaceFileContents(const std::string& path, const std::string& contents, int& error) {
    // Through a symbolic link the file it points at is replaced, not the link.
    std::string target = path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;

    std::string folder = ".";
    const std::size_t slash = target.rfind('/');
    if (slash != std::string::npos) folder = slash == 0 ? "/" : target.substr(0, slash);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string temp = folder + "/." + base + ".saving";

    const int fd = OpenTemporary(temp);
    if (fd < 0) {
        error = errno;
        return false;
    }

    // Keep the old file's permissions; a new file gets the usual ones.
    struct stat old {};
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
        error = errno;
        ::unlink(temp.c_str());  // still ours: the lock is held until the close
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
    std::string contents;
    int error = 0;
    if (ReadWhole(path, contents, error) != ReadResult::Read) return defaultValue;
    return FindProfileValue(contents, section, key).value_or(defaultValue);
}

bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries,
                         std::string* why) {
    for (const auto& [key, value] : entries) {
        if (!StorableProfileEntry(section, key, value)) {
            if (why) *why = "the name or the value \"" + key + "\" cannot be stored";
            return false;
        }
    }
    std::string contents;
    int error = 0;
    // A file that exists but cannot be read is left alone rather than replaced
    // by one holding only these keys.
    if (ReadWhole(path, contents, error) == ReadResult::Failed ||
        !ReplaceFileContents(path, SetProfileValues(contents, section, entries), error)) {
        if (why) *why = std::strerror(error);
        return false;
    }
    return true;
}

}  // namespace quarveld
