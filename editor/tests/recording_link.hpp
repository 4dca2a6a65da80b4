#pragma once
// A printer link that logs every call and property write in order, and can
// be told to fail at one of them.
#include <cstdio>
#include <string>
#include <vector>

#include "printer_link.hpp"

namespace testsupport {

// Bytes as upper-case hex pairs separated by blanks.
inline std::string Hex(const std::string& bytes) {
    std::string text;
    char pair[4];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", c);
        text += pair;
    }
    return text;
}

class RecordingLink : public kelvane::PrinterLink {
public:
    std::vector<std::string> calls;
    int failAt = -1;  // index of the call that raises

    void LoadSettings(const std::string& name) override { Log("LoadSettings " + name); }
    void SaveSettings(const std::string& name) override { Log("SaveSettings " + name); }
    void StartJob() override { Log("StartJob"); }
    void AddCommand(const std::string& command) override { Log("AddCommand " + Hex(command)); }
    void EndJob() override { Log("EndJob"); }
    void setOutputToFile(bool on) override { Log(on ? "OutputToFile true" : "OutputToFile false"); }
    void setOutputMode(int32_t mode) override { Log("OutputMode " + std::to_string(mode)); }
    void setOutputFileName(const std::string& path) override { Log("OutputFileName " + path); }

private:
    void Log(const std::string& call) {
        const bool fail = static_cast<int>(calls.size()) == failAt;
        calls.push_back(call);
        if (fail) throw kelvane::LinkError("link failed at " + call);
    }
};

}  // namespace testsupport
