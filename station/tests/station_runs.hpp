#pragma once
// What the station's tests compare a unit with: the frames a single run
// sends of an image file, and the lines of a record.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "image_files.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace station::test {

using Frames = std::vector<std::vector<uint8_t>>;

// What a single run reads from the file itself.
inline Frames FileFrames(const std::string& path) {
    Frames frames;
    quarveld::Image image;
    EXPECT_TRUE(quarveld::OpenImage(path, image));
    quarveld::FlashRecord record;
    while (quarveld::ReadNextRecord(image, record) && record.kind != quarveld::RecordKind::End)
        frames.emplace_back(image.line, image.line + quarveld::RecordFrame(record, image.line));
    quarveld::CloseImage(image);
    return frames;
}

inline std::vector<nlohmann::json> LogLines(const std::string& path) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(quarveld::test::ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

}  // namespace station::test
