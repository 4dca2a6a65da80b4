#include "image_check.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "run_log.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace station {

namespace {

// Paths are UTF-8 inside; a path built from them as narrow text would be
// read in the ANSI code page on Windows.
std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Counts the frames of an open image; closes it.
bool CountRecords(quarveld::Image& image, ImageCount& count, std::string& why) {
    quarveld::FlashRecord record;
    while (quarveld::ReadNextRecord(image, record)) {
        if (record.kind == quarveld::RecordKind::End) {
            quarveld::CloseImage(image);
            return true;
        }
        count.frames += 1;
        count.dataBytes += record.count;
        count.frameBytes += quarveld::RecordFrame(record, image.line);
    }
    why = quarveld::DescribeReadFailure(image);
    quarveld::CloseImage(image);
    return false;
}

}  // namespace

bool CountImage(const std::string& path, ImageCount& count, std::string& why, bool& opened) {
    count = {};
    quarveld::Image image;
    opened = quarveld::OpenImage(path, image);
    if (!opened) {
        why = path + ": the image cannot be opened: " + image.error;
        return false;
    }
    return CountRecords(image, count, why);
}

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    std::error_code error;
    const std::filesystem::path file = FsPath(path);
    const auto status = std::filesystem::status(file, error);
    if (error || !std::filesystem::exists(status)) return stamp;
    stamp.present = true;
    if (std::filesystem::is_regular_file(status)) {
        stamp.size = std::filesystem::file_size(file, error);
        stamp.modified = std::filesystem::last_write_time(file, error);
    }
    return stamp;
}

bool HoldImage(const std::string& path, HeldImage& image, std::string& why, bool& opened) {
    image = {};
    image.path = path;
    std::error_code error;
    image.fullPath = Utf8(std::filesystem::absolute(FsPath(path), error));
    if (error) image.fullPath = path;
    image.stamp = StampOf(path);

    // Opened as the reader opens it, so the messages are the same.
    quarveld::Image file;
    opened = quarveld::OpenImage(path, file);
    if (!opened) {
        why = path + ": the image cannot be opened: " + file.error;
        return false;
    }
    char chunk[65536];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.file);
        image.bytes.append(chunk, n);
        if (image.bytes.size() > HeldImageLimit) {
            quarveld::CloseImage(file);
            why = path + ": the image is larger than " + std::to_string(HeldImageLimit >> 20) +
                  " MB, more than any printer's flash takes";
            return false;
        }
        if (n < sizeof chunk) break;
    }
    const bool failed = std::ferror(file.file) != 0;
    const int cause = errno;
    quarveld::CloseImage(file);
    if (failed) {
        why = path + ": the image cannot be read: " + std::strerror(cause);
        return false;
    }

    quarveld::Image held;
    quarveld::OpenHeldImage(path, image.bytes, held);
    if (!CountRecords(held, image.count, why)) return false;
    image.sha256 = Sha256Hex(image.bytes);
    return true;
}

bool ChangedOnDisk(const HeldImage& image) { return !(StampOf(image.path) == image.stamp); }

}  // namespace station
