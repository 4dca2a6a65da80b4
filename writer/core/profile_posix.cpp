// Atomic replacement of a settings file on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "profile.hpp"

namespace quarveld {

bool ReplaceFileContents(const std::string& path, const std::string& contents) {
    // Through a symbolic link the file it points at is replaced, not the link.
    std::string target = path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) target = resolved;

    std::string folder = ".";
    std::size_t slash = target.rfind('/');
    if (slash != std::string::npos) folder = slash == 0 ? "/" : target.substr(0, slash);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    std::string temp = folder + "/." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;

    // Keep the old file's permissions; a new file gets the usual ones.
    struct stat old {};
    mode_t mode;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    bool ok = ::fchmod(fd, mode) == 0;
    const char* p = contents.data();
    std::size_t left = contents.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
        } else {
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(name.data(), target.c_str()) == 0;
    if (!ok) ::unlink(name.data());
    return ok;
}

}  // namespace quarveld
