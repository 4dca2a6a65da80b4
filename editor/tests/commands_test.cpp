#include "commands.hpp"

#include <gtest/gtest.h>

#include "recording_link.hpp"

using namespace kelvane;
using testsupport::Hex;

TEST(NumberText, HexDigitWithoutPaddingAndNoSelection) {
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(9), "9");
    EXPECT_EQ(NumberText(10), "A");
    EXPECT_EQ(NumberText(15), "F");
    EXPECT_EQ(NumberText(-1), "FFFF");
}

TEST(SwitchName, SixteenEntriesInListOrder) {
    EXPECT_EQ(SwitchName(0), "Memory Switch 0");
    EXPECT_EQ(SwitchName(9), "Memory Switch 9");
    EXPECT_EQ(SwitchName(10), "Memory Switch A");
    EXPECT_EQ(SwitchName(15), "Memory Switch F");
}

TEST(SetSwitchCommand, BytesIncludeTheFinalNul) {
    const std::string command = SetSwitchCommand("3", "0005");
    EXPECT_EQ(command.size(), 11u);
    EXPECT_EQ(Hex(command), "1B 1D 23 2C 33 30 30 30 35 0A 00");
    EXPECT_EQ(Hex(SetSwitchCommand(NumberText(10), "00FF")), "1B 1D 23 2C 41 30 30 46 46 0A 00");
    EXPECT_EQ(Hex(SetSwitchCommand(NumberText(15), "FFFF")), "1B 1D 23 2C 46 46 46 46 46 0A 00");
}

TEST(SetSwitchCommand, TextsGoInAsGiven) {
    EXPECT_EQ(Hex(SetSwitchCommand("0", "1")), "1B 1D 23 2C 30 31 0A 00");
    EXPECT_EQ(Hex(SetSwitchCommand("5", "")), "1B 1D 23 2C 35 0A 00");
    EXPECT_EQ(Hex(SetSwitchCommand(NumberText(-1), "12")), "1B 1D 23 2C 46 46 46 46 31 32 0A 00");
}

TEST(FixedCommands, ClearAllAndClosing) {
    EXPECT_EQ(Hex(ClearAllCommand()), "1B 1D 23 40 30 30 30 30 30 0A 00");
    EXPECT_EQ(Hex(ClosingCommand()), "1B 1D 23 54 30 30 30 30 30 0A 00");
}
