#include <windows.h>
#include <wincrypt.h>

#include "run_log.hpp"

namespace station {
namespace {

std::string SystemText(DWORD error) {
    char text[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                     text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// SHA-256 through the CryptoAPI (Windows XP SP3 and later).
class Digest {
public:
    Digest() {
        ok_ = ::CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
              ::CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_);
    }
    ~Digest() {
        if (hash_) ::CryptDestroyHash(hash_);
        if (provider_) ::CryptReleaseContext(provider_, 0);
    }
    bool Add(const void* bytes, DWORD size) {
        ok_ = ok_ && ::CryptHashData(hash_, static_cast<const BYTE*>(bytes), size, 0);
        return ok_;
    }
    bool Finish(std::string& hex) {
        BYTE digest[32];
        DWORD size = sizeof digest;
        if (!ok_ || !::CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0)) return false;
        hex = detail::HexText(digest, size);
        return true;
    }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    bool ok_ = false;
};

}  // namespace

bool RunLog::Open(const std::string& path, std::string& why) {
    Close();
    // Appends only, beside other tools that have the log open.
    // Writing as well as appending, so that a line that could not be written
    // whole can be cut back.
    const HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = path + ": " + SystemText(::GetLastError());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    path_ = path;
    return true;
}

void RunLog::Close() {
    if (handle_ != -1) ::CloseHandle(AsHandle(handle_));
    handle_ = -1;
}

bool RunLog::AppendLine(const std::string& line, std::string& why) {
    const HANDLE file = AsHandle(handle_);
    // The lock keeps other tools' lines out of ours, and ours out of the
    // check for an unfinished line.
    OVERLAPPED whole{};
    const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    std::string text = line;
    LARGE_INTEGER size{};
    const bool known = ::GetFileSizeEx(file, &size);
    if (known && size.QuadPart > 0) {
        OVERLAPPED at{};
        const long long last = size.QuadPart - 1;
        at.Offset = static_cast<DWORD>(last);
        at.OffsetHigh = static_cast<DWORD>(last >> 32);
        char byte = '\n';
        DWORD got = 0;
        // A line cut short by a tool that was killed would swallow ours: start anew.
        if (::ReadFile(file, &byte, 1, &got, &at) && got == 1 && byte != '\n') text.insert(0, 1, '\n');
    }
    // At the end as the lock found it; without a size, appended.
    OVERLAPPED end{};
    end.Offset = known ? static_cast<DWORD>(size.QuadPart) : 0xFFFFFFFF;
    end.OffsetHigh = known ? static_cast<DWORD>(size.QuadPart >> 32) : 0xFFFFFFFF;
    DWORD written = 0;
    bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &end) &&
              written == text.size() && ::FlushFileBuffers(file);
    if (!ok) {
        const DWORD error = ::GetLastError();
        why = SystemText(error ? error : ERROR_DISK_FULL);
        // Part of a line (a full disk) would break every reader of the log:
        // cut it back to what it was, still under the lock.
        if (known && !(::SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)))
            why += "; part of the line may be left in the log";
    }
    if (locked) ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    return ok;
}

std::string Sha256Hex(const std::string& bytes) {
    Digest digest;
    std::string hex;
    digest.Add(bytes.data(), static_cast<DWORD>(bytes.size()));
    digest.Finish(hex);
    return hex;
}

bool FileSha256Hex(const std::string& path, std::string& hex, std::string& why) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = path + ": " + SystemText(::GetLastError());
        return false;
    }
    Digest digest;
    char buffer[64 * 1024];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            why = path + ": " + SystemText(::GetLastError());
            ok = false;
            break;
        }
        if (got == 0) break;
        if (!digest.Add(buffer, got)) break;
    }
    ::CloseHandle(file);
    if (ok && !digest.Finish(hex)) {
        why = path + ": the system cannot make a SHA-256 digest";
        ok = false;
    }
    return ok;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size)) return "";
    return std::string(name, size);
}

}  // namespace station
