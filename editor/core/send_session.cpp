#include "send_session.hpp"

#include <utility>
#include <vector>

namespace kelvane {

void SessionState::Load() {
    SessionOpen = false;
    for (auto& value : SessionValues) value.clear();
}

std::string SimpleSend(PrinterLink& link, int16_t listPosition, const std::string& currentValue) {
    const std::string currentSwitch = NumberText(listPosition);
    link.StartJob();
    link.AddCommand(SetSwitchCommand(currentSwitch, currentValue));
    link.AddCommand(ClosingCommand());
    std::string notStored;
    try {
        link.SaveSettings(SimpleSendSettingsName);
    } catch (const LinkError& e) {
        notStored = e.what();
    }
    link.EndJob();
    if (!notStored.empty()) {
        throw SettingsNotStored("The memory switch was sent, but the printer settings could not be stored. " +
                                notStored);
    }
    return currentSwitch;
}

void AdvancedSend(PrinterLink& link, const std::array<Row, RowCount>& rows, SessionState& session) {
    // Recorded only once the job is delivered: a failed job must not be
    // saved later as if it had reached the printer.
    std::vector<std::pair<int, std::string>> sent;
    link.StartJob();
    for (const Row& row : rows) {
        if (row.valueText.empty()) continue;
        link.AddCommand(SetSwitchCommand(NumberText(row.listPosition), row.valueText));
        sent.emplace_back(row.listPosition, row.valueText);
    }
    link.AddCommand(ClosingCommand());
    link.EndJob();

    if (!session.SessionOpen) return;
    for (const auto& [position, text] : sent) {
        // A row without a selected entry names no switch that could be recorded.
        if (position < 0 || position >= SwitchCount) continue;
        session.SessionValues[position] = text;
        session.SessionHasValues = true;
    }
}

void ClearAllMemSW(PrinterLink& link) {
    link.StartJob();
    link.AddCommand(ClearAllCommand());
    link.AddCommand(ClosingCommand());
    link.EndJob();
}

bool StartSession(PrinterLink& link, SessionState& session, const Confirm& confirm) {
    if (!confirm(StartSessionPrompt)) return false;
    ClearAllMemSW(link);
    session.SessionOpen = true;
    return true;
}

bool ResetAllMemorySwitches(PrinterLink& link, const Confirm& confirm) {
    if (!confirm(ResetPrompt)) return false;
    ClearAllMemSW(link);
    return true;
}

}  // namespace kelvane
