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
    if (SHGetFolderPathW(nullptr, which | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) return "";
    const std::wstring folder = std::wstring(base) + L"\\quarveld";
    // An existing folder is as good as a new one; a failure shows at the first write.
    CreateDirectoryW(folder.c_str(), nullptr);
    return quarveld::Narrow(folder);
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
