#include <gtest/gtest.h>

#include "simulated_printer.hpp"

using namespace quarveld::sim;

TEST(SimulatedPrinterCrc, CheckValue) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16ArcTable(text, 9), 0xBB3D);
}
