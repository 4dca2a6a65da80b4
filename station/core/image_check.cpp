#include "image_check.hpp"

#include "srecord.hpp"
#include "transfer.hpp"

namespace station {

bool CountImage(const std::string& path, ImageCount& count, std::string& why, bool& opened) {
    count = {};
    quarveld::Image image;
    opened = quarveld::OpenImage(path, image);
    if (!opened) {
        why = path + ": the image cannot be opened: " + image.error;
        return false;
    }
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

}  // namespace station
