// The editor's INI store against arbitrary files: whatever a file holds, a
// value written reads back as written, and every other key as it was.
#include "ini_store.hpp"

#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>

#include <gtest/gtest.h>

using kelvane::IniStore;

TEST(IniStoreFuzz, AWrittenValueReadsBackAndNothingElseChanges) {
    std::mt19937 rng(20240518);
    const auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    // Mostly what these files treat specially, often behind a leading "@".
    const auto text = [&](size_t most) {
        static const std::string special = "@;,=\"\\ \t%/[]#\r\n\x01\x7f\xc3\xbc\xef\xbb\xbf" "0aF";
        std::string out = below(3) == 0 ? "@" : "";
        for (size_t n = below(most + 1); n > 0; --n)
            out += below(2) ? special[below(special.size())] : static_cast<char>(below(256));
        return out;
    };
    const auto name = [&] { return below(10) == 0 ? std::string("General") : text(5); };
    for (int round = 0; round < 20000; ++round) {
        std::string file = below(5) == 0 ? "\xEF\xBB\xBF" : "";
        for (size_t n = below(10); n > 0; --n) {
            const std::string lines[] = {"[" + name() + "]", name() + " = " + text(8), text(12),
                                         IniStore::EscapeName(name()) + "=" + IniStore::EscapeValue(text(8))};
            file += lines[below(4)] + (below(2) ? "\n" : "\r\n");
        }
        IniStore store;
        store.Parse(file);
        std::map<std::pair<std::string, std::string>, std::optional<std::string>> before;
        for (const auto& key : store.Keys()) before.emplace(key, store.Value(key.first, key.second));
        auto key = std::make_pair(name(), name());
        if (!before.empty() && below(2)) {
            key = std::next(before.begin(), static_cast<long>(below(before.size())))->first;
        }
        const std::string value = text(10), was = store.Text();
        SCOPED_TRACE(testing::PrintToString(file) + " [" + testing::PrintToString(key.first) + "] " +
                     testing::PrintToString(key.second) + " = " + testing::PrintToString(value));

        // An empty name could never be found again: refused, nothing changed.
        if (key.first.empty() || key.second.empty()) {
            EXPECT_FALSE(store.SetValue(key.first, key.second, value));
            ASSERT_EQ(store.Text(), was);
            continue;
        }
        ASSERT_TRUE(store.SetValue(key.first, key.second, value));
        IniStore again;
        again.Parse(store.Text());
        ASSERT_EQ(again.Value(key.first, key.second), value);
        for (const auto& [other, old] : before) {
            if (other != key) {
                ASSERT_EQ(again.Value(other.first, other.second), old);
            }
        }
    }
}

// What a save writes: every line ends as the system's own editors expect, the
// last one too, whatever ends the file had; a file read takes either.
TEST(IniStoreText, LinesEndAsTheSystemExpects) {
    const std::string n = SETTINGS_LINE_END;
    const struct {
        std::string read, written;
    } cases[] = {
        {"", "[MySettings]" + n + "Device=LPT1" + n + "Use=device" + n},
        {"[MySettings]\nDevice=/dev/lp0", "[MySettings]" + n + "Device=LPT1" + n + "Use=device" + n},
        {"[MySettings]\r\nUse=printer\r\nDevice=/dev/lp0\r\n", "[MySettings]" + n + "Use=device" + n + "Device=LPT1" + n},
        {"\xEF\xBB\xBF; kept\r[Other]\nKey=1\r\n",
         "\xEF\xBB\xBF; kept" + n + "[Other]" + n + "Key=1" + n + n + "[MySettings]" + n + "Device=LPT1" + n + "Use=device" + n},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.read));
        IniStore store;
        store.Parse(c.read);
        ASSERT_TRUE(store.SetValue("MySettings", "Device", "LPT1"));
        ASSERT_TRUE(store.SetValue("MySettings", "Use", "device"));
        EXPECT_EQ(store.Text(), c.written);
        IniStore again;
        again.Parse(store.Text());
        EXPECT_EQ(again.Value("MySettings", "Device"), "LPT1");
    }
}
