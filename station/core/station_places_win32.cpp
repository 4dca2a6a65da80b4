// Windows: the record in the local (not roaming) application data, which XP
// calls "Local Settings\Application Data"; the settings in the roaming one.
#include "station_places.hpp"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

#include "utf16_win32.hpp"

namespace station {
namespace {

std::string Folder(int which) {
    wchar_t base[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) return "";
    return quarveld::Narrow(std::wstring(base) + L"\\quarveld");
}

}  // namespace

std::string RecordFolder() { return Folder(CSIDL_LOCAL_APPDATA); }

std::string SettingsFolder() { return Folder(CSIDL_APPDATA); }

std::string DefaultRecordPath() {
    const std::string folder = RecordFolder();
    if (folder.empty()) return "";
    SYSTEMTIME today{};
    GetLocalTime(&today);
    char name[40];
    std::snprintf(name, sizeof name, "\\station-%04u-%02u-%02u.jsonl", today.wYear, today.wMonth, today.wDay);
    return folder + name;
}

}  // namespace station
