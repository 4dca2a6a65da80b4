#include "station_settings.hpp"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "profile.hpp"
#include "settings_file.hpp"

namespace station {

namespace {

const char* const Section = "Station";
const char Separator = '|';  // no device name holds it

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(Separator, start), text.size());
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : std::string(1, Separator)) + part;
    return text;
}

struct Word {
    int32_t id;
    const char* word;
};
const Word Bauds[] = {{quarveld::ID_19200, "19200"}, {quarveld::ID_9600, "9600"}, {quarveld::ID_4800, "4800"},
                      {quarveld::ID_2400, "2400"}};
const Word Bits[] = {{quarveld::ID_8BIT, "8"}, {quarveld::ID_7BIT, "7"}};
const Word Parities[] = {{quarveld::ID_NONE, "none"}, {quarveld::ID_ODD, "odd"}, {quarveld::ID_EVEN, "even"}};

template <std::size_t N>
std::string ToWord(const Word (&words)[N], int32_t id) {
    for (const Word& w : words)
        if (w.id == id) return w.word;
    return words[0].word;
}

template <std::size_t N>
bool FromWord(const Word (&words)[N], const std::string& word, int32_t& id) {
    for (const Word& w : words) {
        if (word == w.word) {
            id = w.id;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string BaudWord(int32_t id) { return ToWord(Bauds, id); }
std::string BitsWord(int32_t id) { return ToWord(Bits, id); }
std::string ParityWord(int32_t id) { return ToWord(Parities, id); }
bool BaudFromWord(const std::string& word, int32_t& id) { return FromWord(Bauds, word, id); }
bool BitsFromWord(const std::string& word, int32_t& id) { return FromWord(Bits, word, id); }
bool ParityFromWord(const std::string& word, int32_t& id) { return FromWord(Parities, word, id); }

StationSettings LoadStationSettings(const std::string& path, const std::string& torwin) {
    StationSettings settings;
    quarveld::LoadPortSettings(settings.line, torwin);
    auto get = [&](const char* key) { return quarveld::GetProfileString(path, Section, key, ""); };
    // The line only as a whole, so a half-edited file never mixes two.
    quarveld::PortSettings line = settings.line;
    if (BaudFromWord(get("Baud"), line.BaudRate) && BitsFromWord(get("Bits"), line.BitLength) &&
        ParityFromWord(get("Parity"), line.Parity))
        settings.line = line;
    settings.ticked = Split(get("Ticked"));
    settings.added = Split(get("Added"));
    settings.batch = get("Batch");
    settings.logPath = get("Log");
    const std::string silence = get("Silence");
    char* end = nullptr;
    const double seconds = std::strtod(silence.c_str(), &end);
    if (!silence.empty() && *end == '\0' && seconds >= 0 && seconds <= 3600) settings.silenceSeconds = seconds;
    return settings;
}

bool SaveStationSettings(const StationSettings& settings, const std::string& path, std::string* why) {
    std::error_code ignored;  // the write that follows says what is wrong
    // UTF-8, whatever the system's code page: a user's folder may be in any script.
    const std::filesystem::path folder = std::filesystem::path(std::u8string(path.begin(), path.end())).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
    char silence[32];
    std::snprintf(silence, sizeof silence, "%g", settings.silenceSeconds);
    return quarveld::WriteProfileStrings(path, Section,
                                         {{"Baud", BaudWord(settings.line.BaudRate)},
                                          {"Bits", BitsWord(settings.line.BitLength)},
                                          {"Parity", ParityWord(settings.line.Parity)},
                                          {"Ticked", Join(settings.ticked)},
                                          {"Added", Join(settings.added)},
                                          {"Batch", settings.batch},
                                          {"Log", settings.logPath},
                                          {"Silence", silence}},
                                         why);
}

std::string DailyLogPath(const std::string& folder, std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    const std::tm* local = std::localtime(&t);
    char name[40] = "station.jsonl";
    if (local != nullptr) std::strftime(name, sizeof name, "station-%Y-%m-%d.jsonl", local);
    return folder + "/" + name;
}

}  // namespace station
