#include "send_session.hpp"

#include <gtest/gtest.h>

#include "recording_link.hpp"

using namespace kelvane;
using testsupport::RecordingLink;
using Calls = std::vector<std::string>;

namespace {

const std::string kClosing = "AddCommand 1B 1D 23 54 30 30 30 30 30 0A 00";
const std::string kClearAll = "AddCommand 1B 1D 23 40 30 30 30 30 30 0A 00";

std::array<Row, RowCount> Rows(std::initializer_list<Row> given) {
    std::array<Row, RowCount> rows{};
    std::size_t i = 0;
    for (const Row& row : given) rows[i++] = row;
    return rows;
}

Confirm Answer(bool yes, std::vector<std::string>& asked) {
    return [yes, &asked](const std::string& prompt) {
        asked.push_back(prompt);
        return yes;
    };
}

}  // namespace

TEST(SimpleSend, SetsTheSwitchThenClosesAndSavesSettingsBeforeEndJob) {
    RecordingLink link;
    EXPECT_EQ(SimpleSend(link, 3, "0005"), "3");
    EXPECT_EQ(link.calls, (Calls{"StartJob", "AddCommand 1B 1D 23 2C 33 30 30 30 35 0A 00", kClosing,
                                 "SaveSettings vorpen", "EndJob"}));
}

TEST(SimpleSend, SettingsThatCannotBeStoredStopNeitherTheJobNorTheReport) {
    RecordingLink link;
    link.failAt = 3;  // SaveSettings
    try {
        SimpleSend(link, 3, "0005");
        FAIL() << "the lost settings were not reported";
    } catch (const SettingsNotStored& e) {
        EXPECT_NE(std::string(e.what()).find("link failed at SaveSettings vorpen"), std::string::npos) << e.what();
    }
    EXPECT_EQ(link.calls.back(), "EndJob");
    EXPECT_EQ(link.calls.size(), 5u);

    // A failed delivery is what gets reported then, not the settings.
    struct GoneLink : RecordingLink {
        void EndJob() override { throw LinkError("printer gone"); }
    } gone;
    gone.failAt = 3;
    try {
        SimpleSend(gone, 3, "0005");
        FAIL() << "the failed delivery was not reported";
    } catch (const LinkError& e) {
        EXPECT_STREQ(e.what(), "printer gone");
    }
}

TEST(SimpleSend, NoSelectionGivesFFFF) {
    RecordingLink link;
    EXPECT_EQ(SimpleSend(link, -1, "8001"), "FFFF");
    EXPECT_EQ(link.calls.at(1), "AddCommand 1B 1D 23 2C 46 46 46 46 38 30 30 31 0A 00");
}

TEST(AdvancedSend, SkipsEmptyRowsAndKeepsRowOrderForOneSwitch) {
    RecordingLink link;
    SessionState session;
    session.SessionOpen = true;
    AdvancedSend(link, Rows({{4, "00FF"}, {1, ""}, {4, "1"}, {0, ""}, {15, "FFFF"}}), session);
    EXPECT_EQ(link.calls, (Calls{"StartJob", "AddCommand 1B 1D 23 2C 34 30 30 46 46 0A 00",
                                 "AddCommand 1B 1D 23 2C 34 31 0A 00",
                                 "AddCommand 1B 1D 23 2C 46 46 46 46 46 0A 00", kClosing, "EndJob"}));
    EXPECT_EQ(session.SessionValues[4], "1");  // the later row wins
    EXPECT_EQ(session.SessionValues[15], "FFFF");
    EXPECT_EQ(session.SessionValues[1], "");
    EXPECT_TRUE(session.SessionHasValues);
}

TEST(AdvancedSend, AllRowsEmptySendsTheClosingCommandAloneAndRecordsNothing) {
    RecordingLink link;
    SessionState session;
    session.SessionOpen = true;
    AdvancedSend(link, Rows({}), session);
    EXPECT_EQ(link.calls, (Calls{"StartJob", kClosing, "EndJob"}));
    EXPECT_FALSE(session.SessionHasValues);
}

TEST(AdvancedSend, RecordsOnlyWhileTheSessionIsOpen) {
    RecordingLink link;
    SessionState session;
    AdvancedSend(link, Rows({{2, "0123"}}), session);
    EXPECT_EQ(link.calls.size(), 4u);  // sent all the same
    EXPECT_EQ(session.SessionValues[2], "");
    EXPECT_FALSE(session.SessionHasValues);

    session.SessionOpen = true;
    AdvancedSend(link, Rows({{2, "0123"}}), session);
    EXPECT_EQ(session.SessionValues[2], "0123");

    // Loading the window again closes the session and empties the values,
    // but never takes back that values were recorded.
    session.Load();
    EXPECT_FALSE(session.SessionOpen);
    EXPECT_EQ(session.SessionValues[2], "");
    EXPECT_TRUE(session.SessionHasValues);
}

TEST(AdvancedSend, RowWithoutSelectionIsSentButNotRecorded) {
    RecordingLink link;
    SessionState session;
    session.SessionOpen = true;
    AdvancedSend(link, Rows({{-1, "12"}}), session);
    EXPECT_EQ(link.calls.at(1), "AddCommand 1B 1D 23 2C 46 46 46 46 31 32 0A 00");
    EXPECT_FALSE(session.SessionHasValues);
}

TEST(Confirmations, YesClearsThePrinterNoSendsNothing) {
    std::vector<std::string> asked;
    SessionState session;
    session.SessionValues[7] = "0042";

    RecordingLink refused;
    EXPECT_FALSE(StartSession(refused, session, Answer(false, asked)));
    EXPECT_FALSE(ResetAllMemorySwitches(refused, Answer(false, asked)));
    EXPECT_TRUE(refused.calls.empty());
    EXPECT_FALSE(session.SessionOpen);

    RecordingLink link;
    EXPECT_TRUE(StartSession(link, session, Answer(true, asked)));
    EXPECT_TRUE(session.SessionOpen);
    EXPECT_EQ(session.SessionValues[7], "0042");  // a new session keeps what was recorded
    EXPECT_TRUE(ResetAllMemorySwitches(link, Answer(true, asked)));
    EXPECT_TRUE(session.SessionOpen);
    const Calls clearAll{"StartJob", kClearAll, kClosing, "EndJob"};
    Calls twice = clearAll;
    twice.insert(twice.end(), clearAll.begin(), clearAll.end());
    EXPECT_EQ(link.calls, twice);

    EXPECT_EQ(asked, (std::vector<std::string>{"This will clear all memory switches",
                                               "Are you sure you want to reset all mem switches?",
                                               "This will clear all memory switches",
                                               "Are you sure you want to reset all mem switches?"}));
}

// A failure stops the workflow at the failing call: nothing after it reaches
// the link, the caller gets the message, and no state changes.
TEST(LinkFailure, EndsEveryWorkflowAtTheFailingCall) {
    const auto yes = [](const std::string&) { return true; };
    struct Workflow {
        const char* name;
        std::size_t calls;
        std::function<void(RecordingLink&, SessionState&)> run;
    };
    const std::vector<Workflow> workflows = {
        {"simple", 5, [](RecordingLink& l, SessionState&) { SimpleSend(l, 3, "0005"); }},
        {"advanced", 5,
         [](RecordingLink& l, SessionState& s) { AdvancedSend(l, Rows({{1, "0001"}, {2, "0002"}}), s); }},
        {"start session", 4, [&](RecordingLink& l, SessionState& s) { StartSession(l, s, yes); }},
        {"reset", 4, [&](RecordingLink& l, SessionState&) { ResetAllMemorySwitches(l, yes); }},
    };
    for (const Workflow& workflow : workflows) {
        for (std::size_t failAt = 0; failAt < workflow.calls; ++failAt) {
            // The simple send's settings store does not stop its job (tested above).
            if (std::string(workflow.name) == "simple" && failAt == 3) continue;
            SCOPED_TRACE(std::string(workflow.name) + " failing at call " + std::to_string(failAt));
            RecordingLink link;
            link.failAt = static_cast<int>(failAt);
            SessionState session;
            session.SessionOpen = std::string(workflow.name) == "advanced";
            const SessionState before = session;
            try {
                workflow.run(link, session);
                ADD_FAILURE() << "no error reached the caller";
            } catch (const LinkError& error) {
                EXPECT_EQ(std::string(error.what()), "link failed at " + link.calls.back());
            }
            EXPECT_EQ(link.calls.size(), failAt + 1);
            EXPECT_EQ(session.SessionOpen, before.SessionOpen);
            EXPECT_EQ(session.SessionValues, before.SessionValues);
            EXPECT_EQ(session.SessionHasValues, before.SessionHasValues);
        }
    }
}
