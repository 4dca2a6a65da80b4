// TORWIN.INI through the system's profile functions: the four keys reach the
// file, and everything else in it stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "profile.hpp"
#include "settings_file.hpp"

namespace quarveld {
namespace {

TEST(ProfileFunctions, SaveKeepsOtherSectionsAndKeysAndLoadReadsItBack) {
    const auto dir = std::filesystem::temp_directory_path() / "quarveld-profile";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "TORWIN.INI").string();
    std::ofstream(path, std::ios::binary) << "[Other]\r\nName=kept\r\n\r\n[QUARVELD]\r\nPORT0=00cb\r\n"
                                             "Extra=\"quoted\"\r\n[Tail]\r\nLast=1\r\n";

    PortSettings chosen;
    chosen.BaudRate = ID_19200;
    chosen.BitLength = ID_7BIT;
    chosen.Parity = ID_EVEN;
    chosen.Port = ID_COM2;
    ASSERT_TRUE(SavePortSettings(chosen, path));

    EXPECT_EQ(GetProfileString(path, "Other", "Name", "-"), "kept");
    EXPECT_EQ(GetProfileString(path, "quarveld", "extra", "-"), "quoted");
    EXPECT_EQ(GetProfileString(path, "Tail", "Last", "-"), "1");
    EXPECT_EQ(GetProfileString(path, "QUARVELD", "PORT0", "-"), "00c9");
    EXPECT_EQ(GetProfileString(path, "QUARVELD", "PORT3", "-"), "00d3");
    PortSettings read;
    LoadPortSettings(read, path);
    EXPECT_EQ(read, chosen);

    // A value out of range brings back all four defaults.
    ASSERT_TRUE(WriteProfileString(path, "QUARVELD", "PORT1", "0201"));
    LoadPortSettings(read, path);
    EXPECT_EQ(read, PortSettings{});
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quarveld
