// Device and file delivery on POSIX systems.
#include "vexlo_delivery.hpp"

#include "device_output.hpp"

#include <fcntl.h>
#include <glob.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace kelvane::vexlo {
namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// "/dev/ttyS10" sorts after "/dev/ttyS9".
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        long n = i < s.size() ? std::strtol(s.c_str() + i, nullptr, 10) : -1;
        return std::make_pair(s.substr(0, i), n);
    };
    return split(a) < split(b);
}

std::vector<std::string> Glob(const char* pattern) {
    std::vector<std::string> out;
    glob_t g{};
    if (glob(pattern, 0, nullptr, &g) == 0) {
        for (size_t i = 0; i < g.gl_pathc; ++i) out.emplace_back(g.gl_pathv[i]);
    }
    globfree(&g);
    std::sort(out.begin(), out.end(), NaturalLess);
    return out;
}

// The kernel keeps ttyS nodes for ports that are not there; their type is 0.
bool SerialPortPresent(const std::string& device) {
    std::string name = device.substr(device.rfind('/') + 1);
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = -1;
    if (!(type >> value)) return true;  // no sysfs: assume present
    return value != 0;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the result; deferred write errors show up here.
    int close() {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

mode_t CurrentUmask() {
    mode_t m = umask(022);
    umask(m);
    return m;
}

}  // namespace

std::vector<std::string> ListDevices() {
    std::vector<std::string> out;
    for (const char* pattern : {"/dev/usb/lp*", "/dev/lp*", "/dev/ttyUSB*", "/dev/ttyACM*"}) {
        for (auto& p : Glob(pattern)) out.push_back(std::move(p));
    }
    for (auto& p : Glob("/dev/ttyS*")) {
        if (SerialPortPresent(p)) out.push_back(std::move(p));
    }
    return out;
}

LinkError OpenFailure(const std::string& path, int err) {
    const bool device = StartsWith(path, "/dev/");
    std::string msg = "Cannot open " + path + ": " + ErrorText(err) + ".";
    switch (err) {
    case EACCES:
    case EPERM: {
        const std::string group = AccessGroup(path);
        if (!group.empty())
            return LinkError(LinkRemedy::JoinGroup, msg + " Add your user to the group \"" + group + "\"", group);
        if (!device) return LinkError(LinkRemedy::WritableFile, msg);
        msg += " Ask the administrator for write access to this device.";
        break;
    }
    case ENOENT:
        if (device) return LinkError(LinkRemedy::RefreshDevices, msg + " Is the printer connected and switched on?");
        msg += " Check that the folder exists.";
        break;
    case ENXIO:
    case ENODEV:
        msg += " Is the printer connected and switched on?";
        break;
    case EBUSY:
        msg += " Another program may be using it.";
        break;
    case EISDIR:
        msg += " Give the path of a file, not of a folder.";
        break;
    default:
        break;
    }
    return LinkError(msg);
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    if (path.empty()) throw LinkError("No output file name is given.");
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace what the link points at, and keep the link.
        if (char* real = realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    if (stat(target.c_str(), &st) == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode)) {
            throw LinkError("Cannot write the file " + path +
                            ": something that is not a regular file is already there.");
        }
        // Root may write anything, but a file without any write permission
        // is one its owner meant to keep, as Windows keeps a read-only file.
        const bool mayWrite = geteuid() == 0 ? (st.st_mode & 0222) != 0
                                              : faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 ||
                                                    errno != EACCES;
        if (!mayWrite) {
            throw LinkError("Cannot write the file " + path +
                            ": it is write-protected. The old file was left as it was.");
        }
    }

    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // One fixed temporary name beside the file: a save that was killed half
    // way leaves at most this one, and the next save takes it over.
    const std::string tmp = dir + "/." + base + ".saving";
    int raw = -1;
    for (;;) {
        raw = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (raw < 0) break;
        int locked;
        do locked = flock(raw, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        struct stat held {}, named {};
        if (locked != 0 || fstat(raw, &held) != 0) {
            const int err = errno;
            ::close(raw);
            raw = -1;
            errno = err;
            break;
        }
        if (lstat(tmp.c_str(), &named) == 0 && held.st_ino == named.st_ino && held.st_dev == named.st_dev) break;
        ::close(raw);  // the save that held the lock renamed it into place: start again
    }
    if (raw < 0) {
        const int err = errno;
        std::string msg = "Cannot write the file " + path + ": " + ErrorText(err) + ".";
        if (err == EACCES || err == EPERM || err == EROFS) throw LinkError(LinkRemedy::WritableFolder, msg);
        if (err == ENOENT) msg += " Check that the folder exists.";
        throw LinkError(msg);
    }
    Fd fd(raw);
    auto fail = [&](int err) {
        unlink(tmp.c_str());  // still ours while the lock is held
        return LinkError("Cannot write the file " + path + ": " + ErrorText(err) +
                         ". The old file was left as it was.");
    };
    // A new file gets the usual rights, a replaced one keeps its own.
    if (ftruncate(fd.get(), 0) != 0) throw fail(errno);
    fchmod(fd.get(), exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask()));

    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw fail(n < 0 ? errno : EIO);
        done += static_cast<size_t>(n);
    }
    if (fsync(fd.get()) != 0) throw fail(errno);
    // Renamed while the lock is held, so no other save can write into it meanwhile.
    if (rename(tmp.c_str(), target.c_str()) != 0) throw fail(errno);
    fd.close();

    // Make the rename itself durable; the data is already safe.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

}  // namespace kelvane::vexlo
