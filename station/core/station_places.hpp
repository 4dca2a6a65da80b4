#pragma once
// Where the station keeps this user's record and settings.
#include <string>

namespace station {

// The per-user data folder's "quarveld"; "" when the system names no such
// folder. Nothing is made until something is written there.
std::string RecordFolder();
// The per-user settings folder's "quarveld"; "" likewise.
std::string SettingsFolder();
// Today's record in RecordFolder(): one file a day, "station-2026-12-08.jsonl".
std::string DefaultRecordPath();

}  // namespace station
