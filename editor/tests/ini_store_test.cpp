// The editor's INI store against arbitrary files: whatever a file holds, a
// value written reads back as written, and every other key as it was.
#include "ini_store.hpp"

#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using kelvane::IniStore;

namespace {

class Fuzz {
public:
    explicit Fuzz(unsigned seed) : rng_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }

    // Mostly the characters these files treat specially.
    std::string text(size_t maxLength) {
        static const std::string special = "@;,=\"\\ \t%/[]#$\r\n\x01\x1f\x7f\xc3\xbc\xef\xbb\xbf";
        std::string out;
        for (size_t n = below(maxLength + 1); n > 0; --n) {
            switch (below(4)) {
            case 0: out += special[below(special.size())]; break;
            case 1: out += "0123456789abcdefABCDEF"[below(22)]; break;
            case 2: out += static_cast<char>(below(256)); break;
            default: out += "General"[below(7)]; break;
            }
        }
        if (chance(30)) out.insert(0, "@");
        return out;
    }

    std::string name() { return chance(10) ? "General" : text(6); }

    std::string file() {
        std::string out = chance(20) ? "\xEF\xBB\xBF" : "";
        for (size_t n = below(12); n > 0; --n) {
            switch (below(5)) {
            case 0: out += "[" + name() + "]"; break;
            case 1: out += IniStore::EscapeName(name()) + "=" + IniStore::EscapeValue(text(8)); break;
            case 2: out += name() + " = " + text(8); break;
            case 3: out += (chance(50) ? ";" : "#") + text(6); break;
            default: out += text(12); break;
            }
            out += std::vector<std::string>{"\n", "\r\n", "\r", ""}[below(4)];
        }
        return out;
    }

private:
    std::mt19937 rng_;
};

TEST(IniStoreFuzz, AWrittenValueReadsBackAndNothingElseChanges) {
    Fuzz fuzz(20240518);
    for (int round = 0; round < 20000; ++round) {
        IniStore store;
        const std::string file = fuzz.file();
        store.Parse(file);
        std::map<std::pair<std::string, std::string>, std::optional<std::string>> before;
        for (const auto& key : store.Keys()) before.emplace(key, store.Value(key.first, key.second));

        std::pair<std::string, std::string> key{fuzz.name(), fuzz.name()};
        if (!before.empty() && fuzz.chance(50)) key = std::next(before.begin(), fuzz.below(before.size()))->first;
        const std::string value = fuzz.text(10);
        const std::string text = store.Text();
        SCOPED_TRACE(testing::Message() << "round " << round << ", file " << testing::PrintToString(file)
                                        << ", [" << testing::PrintToString(key.first) << "] "
                                        << testing::PrintToString(key.second) << " = "
                                        << testing::PrintToString(value));

        // An empty name could never be found again: refused, nothing changed.
        if (key.first.empty() || key.second.empty()) {
            EXPECT_FALSE(store.SetValue(key.first, key.second, value));
            EXPECT_EQ(store.Text(), text);
            continue;
        }
        ASSERT_TRUE(store.SetValue(key.first, key.second, value));
        IniStore again;
        again.Parse(store.Text());
        ASSERT_EQ(again.Value(key.first, key.second), value);
        for (const auto& [other, was] : before) {
            if (other != key) {
                ASSERT_EQ(again.Value(other.first, other.second), was);
            }
        }
        // A byte-order mark stays, once.
        EXPECT_EQ(store.Text().rfind("\xEF\xBB\xBF", 0) == 0, file.rfind("\xEF\xBB\xBF", 0) == 0);
    }
}

}  // namespace
