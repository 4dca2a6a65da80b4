#pragma once
// What the reader yields for a whole image, for the reader's tests.
#include <cstdint>
#include <string>
#include <vector>

#include "srecord.hpp"

namespace quarveld::test {

// Everything the reader yields for one image, up to the end or a failure.
struct Reading {
    struct Record {
        RecordKind kind;
        int count;
        uint32_t address;
        std::vector<uint8_t> data;
    };
    std::vector<Record> records;
    bool ended = false;
    long line = 0;
    std::string error;
};

inline Reading ReadAll(const std::string& path) {
    Reading reading;
    Image image;
    if (!OpenImage(path, image)) {
        reading.error = "open: " + image.error;
        return reading;
    }
    FlashRecord record;
    while (ReadNextRecord(image, record)) {
        if (record.kind == RecordKind::End) {
            reading.ended = true;
            break;
        }
        reading.records.push_back({record.kind, record.count, record.address,
                                   std::vector<uint8_t>(record.data, record.data + record.count)});
    }
    reading.line = image.lineNumber;
    reading.error = image.error;
    CloseImage(image);
    return reading;
}

}  // namespace quarveld::test
