#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "run_log.hpp"

namespace station {
bool RunLog::Open(const std::string& path, std::string& why) {
    Close();
    // Read as well, to see whether the last line was finished.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    handle_ = fd;
    path_ = path;
    return true;
}

void RunLog::Close() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool RunLog::AppendLine(const std::string& line, std::string& why) {
    const int fd = static_cast<int>(handle_);
    // The lock keeps other tools' lines out of ours, and ours out of the
    // check for an unfinished line.
    int locked;
    do locked = ::flock(fd, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    std::string text = line;
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (known && info.st_size > 0) {
        char last = '\n';
        // A line cut short by a tool that was killed would swallow ours: start anew.
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') text.insert(0, 1, '\n');
    }
    bool ok = true;
    int error = 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            error = n < 0 ? errno : ENOSPC;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        why = std::strerror(error);
        // Part of a line (a full disk) would break every reader of the log:
        // cut it back to what it was, still under the lock.
        if (known && ::ftruncate(fd, info.st_size) != 0) why += "; part of the line may be left in the log";
    }
    if (locked == 0) ::flock(fd, LOCK_UN);
    return ok;
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return detail::HexText(digest, size);
}

bool FileSha256Hex(const std::string& path, std::string& hex, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    char buffer[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = path + ": " + std::strerror(errno);
            ok = false;
        }
        if (n <= 0) break;
        ok = EVP_DigestUpdate(context, buffer, static_cast<std::size_t>(n)) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (ok && EVP_DigestFinal_ex(context, digest, &size) == 1) {
        hex = detail::HexText(digest, size);
    } else if (ok) {
        why = path + ": the digest could not be made";
        ok = false;
    }
    EVP_MD_CTX_free(context);
    ::close(fd);
    return ok;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

}  // namespace station
