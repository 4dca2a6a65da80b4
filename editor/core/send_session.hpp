#pragma once
// The workflows that send jobs through a window's printer link, and the
// session record that the advanced window keeps.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "commands.hpp"
#include "printer_link.hpp"

namespace kelvane {

constexpr int RowCount = 5;

// Name strings handed to the link.
inline constexpr const char* WindowSettingsName = "MySettings";
inline constexpr const char* SimpleSendSettingsName = "vorpen";

// Confirmation prompts and their title.
inline constexpr const char* ConfirmTitle = "Are you sure";
inline constexpr const char* StartSessionPrompt = "This will clear all memory switches";
inline constexpr const char* ResetPrompt = "Are you sure you want to reset all mem switches?";

// Asked before the printer is cleared; true goes on.
using Confirm = std::function<bool(const std::string& prompt)>;

struct SessionState {
    bool SessionOpen = false;
    std::array<std::string, SwitchCount> SessionValues;
    bool SessionHasValues = false;  // never set false again

    // The advanced window's load steps: session closed, every value empty.
    void Load();
};

struct Row {
    int16_t listPosition = 0;  // -1: no entry selected
    std::string valueText;     // empty rows are skipped
};

// The job went out, but the link's settings could not be stored.
class SettingsNotStored : public LinkError {
public:
    using LinkError::LinkError;
};

// Simple send; returns the number text, which the window keeps as CurrentSwitch.
// Storing the link's settings is not what the user asked for: when that fails
// the job is still delivered, and SettingsNotStored follows.
std::string SimpleSend(PrinterLink& link, int16_t listPosition, const std::string& currentValue);

// Advanced send: one set command per non-empty row, in row order, then the
// closing command. While the session is open the rows are recorded once the
// job has been delivered.
void AdvancedSend(PrinterLink& link, const std::array<Row, RowCount>& rows, SessionState& session);

// The clear-all job.
void ClearAllMemSW(PrinterLink& link);

// Both ask first; false when the answer was no (nothing sent, nothing changed).
bool StartSession(PrinterLink& link, SessionState& session, const Confirm& confirm);
bool ResetAllMemorySwitches(PrinterLink& link, const Confirm& confirm);

}  // namespace kelvane
