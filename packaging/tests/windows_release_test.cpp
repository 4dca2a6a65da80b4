// The Windows release as a user gets it. The programs: small, stripped, with
// their version resource, and nothing in their headers or imports that XP SP3
// lacks. The MSI under Wine in a fresh prefix: installed, started through its
// shortcuts, upgraded by a later version, removed without a trace. The zip:
// unpacked and started. Screenshots go to QUARVELD_E2E_DIR.
//
// Set by packaging/tests/windows_release_test.sh:
//   RELEASE_PROGRAMS  folder of the six release programs and README.txt
//   RELEASE_VERSION   their version; RELEASE_MSI and RELEASE_ZIP of that version
//   NEXT_VERSION, NEXT_MSI  a later build's version and MSI
// and for the Wine session: QUARVELD_EXE (where the zip's QUARVELD.exe will
// be), WINDRIVER_EXE, QUARVELD_E2E_DIR. By CTest: STAND_INS.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "wine_session.hpp"
#include "wine_test_main.hpp"

namespace {

namespace fs = std::filesystem;
using quarveld::wine::Env;
using quarveld::wine::Program;
using quarveld::wine::RunCapture;
using quarveld::wine::RunQuiet;
using quarveld::wine::Session;
using quarveld::wine::Slurp;

const std::string Product = "Printer setup tools";
// What the programs' version resources name as their product.
const std::string ProgramProduct = "Printer configuration tools";
const std::vector<std::string> Programs = {"Kelvane2.exe",       "QUARVELD.exe",     "quarveld-station.exe",
                                           "quarveld-write.exe", "kelvane-send.exe", "kelvane-decode.exe"};

Session* session = nullptr;

std::string Utf16(const std::string& text) {
    std::string out;
    for (char c : text) out += {c, '\0'};
    return out;
}

// The program's version resource as windres writes it back into a script.
std::string VersionResource(const std::string& program) {
    const std::string script = RunCapture({"i686-w64-mingw32-windres", "-i", program, "-O", "rc"}).out;
    return script.substr(std::min(script.find("/* Type: version"), script.size()));
}

// The resource says `version` ("1.0") in its text and as four numbers.
bool HoldsVersion(const std::string& resource, const std::string& version) {
    std::string numbers = version;
    while (std::count(numbers.begin(), numbers.end(), '.') < 3) numbers += ".0";
    return resource.find("\n FILEVERSION " + std::regex_replace(numbers, std::regex("\\."), ", ") + "\n") !=
               std::string::npos &&
           resource.find("VALUE \"FileVersion\", \"" + version + "\"\n") != std::string::npos;
}

TEST(ReleasePrograms, SmallStrippedAndVersioned) {
    const std::string dir = Env("RELEASE_PROGRAMS"), version = Env("RELEASE_VERSION");
    for (const std::string& name : Programs) {
        SCOPED_TRACE(name);
        const std::string path = dir + "/" + name;
        ASSERT_TRUE(fs::exists(path));
        EXPECT_LT(fs::file_size(path), 1536u * 1024u);
        const std::string sections = RunCapture({"i686-w64-mingw32-objdump", "-h", path}).out;
        EXPECT_NE(sections.find(".text"), std::string::npos);
        EXPECT_EQ(sections.find(".debug"), std::string::npos) << sections;
        EXPECT_EQ(sections.find(".stab"), std::string::npos) << sections;

        const std::string resource = VersionResource(path);
        EXPECT_TRUE(HoldsVersion(resource, version)) << resource;
        for (const std::string& value : {"\"ProductName\", \"" + ProgramProduct, "\"OriginalFilename\", \"" + name,
                                         "\"FileDescription\", \"" + name.substr(0, name.size() - 4)})
            EXPECT_NE(resource.find("VALUE " + value), std::string::npos) << value << "\n" << resource;
    }
}

// Windows Installer replaces a file by comparing versions; a file without
// one in the File table counts as unversioned, and a repair never puts it
// back over a versioned copy.
TEST(ReleaseMsi, FileTableGivesEveryProgramItsVersion) {
    for (const auto& [msi, version] : {std::pair{Env("RELEASE_MSI"), Env("RELEASE_VERSION")},
                                       std::pair{Env("NEXT_MSI"), Env("NEXT_VERSION")}}) {
        std::string numbers = version;
        while (std::count(numbers.begin(), numbers.end(), '.') < 3) numbers += ".0";
        // Tab-separated rows: File, Component_, FileName, FileSize, Version, ...
        std::istringstream rows(RunCapture({"msiinfo", "export", msi, "File"}).out);
        std::set<std::string> versioned;
        for (std::string row; std::getline(rows, row);) {
            std::vector<std::string> columns;
            std::istringstream cells(row);
            for (std::string cell; std::getline(cells, cell, '\t');) columns.push_back(cell);
            if (columns.size() < 5) continue;
            const std::string name = columns[2].substr(columns[2].find('|') + 1);
            if (name.ends_with(".exe")) {
                EXPECT_EQ(columns[4], numbers) << msi << " " << name;
                versioned.insert(name);
            }
        }
        EXPECT_EQ(versioned, std::set<std::string>(Programs.begin(), Programs.end())) << msi;
    }
}

// Windows Vista and later start a 32-bit program elevated, as an installer,
// when it requests no execution level and its file name or a text of its
// version resource holds one of these words in any case. A program that
// requests a level is never taken for one, but loses the per-user copy of
// TORWIN.INI that Windows keeps for programs that are not elevated.
TEST(ReleasePrograms, NeverTakenForInstallers) {
    const std::vector<std::string> words = {"setup", "install", "update", "upgrade", "patch", "uninstall"};
    for (const std::string& name : Programs) {
        SCOPED_TRACE(name);
        const std::string path = Env("RELEASE_PROGRAMS") + "/" + name;
        const std::string script = RunCapture({"i686-w64-mingw32-windres", "-i", path, "-O", "rc"}).out;
        ASSERT_NE(script.find("/* Type: version"), std::string::npos) << "no resources read";
        std::string texts = name + "\n";
        for (std::size_t at = script.find("VALUE \""); at != std::string::npos; at = script.find("VALUE \"", at + 1))
            texts += script.substr(at, script.find('\n', at) - at) + "\n";
        std::transform(texts.begin(), texts.end(), texts.begin(), ::tolower);
        for (const std::string& word : words) EXPECT_EQ(texts.find(word), std::string::npos) << word << " in\n" << texts;
        EXPECT_EQ(script.find("RT_MANIFEST"), std::string::npos) << "a manifest";
        EXPECT_EQ(script.find("requestedExecutionLevel"), std::string::npos);
    }
}

// Functions that Windows XP SP3 does not have. Each is given as "Minimum
// supported client: Windows Vista" (or later) in Microsoft's Win32 API
// reference; the CRT's *_s functions reached the system's msvcrt.dll with Vista.
const std::set<std::string> LaterFunctions = {
    "GetTickCount64", "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeConditionVariable", "WakeAllConditionVariable", "InitializeSRWLock", "AcquireSRWLockExclusive",
    "AcquireSRWLockShared", "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "InitOnceExecuteOnce", "InitOnceBeginInitialize", "InitOnceComplete", "InitializeCriticalSectionEx",
    "CancelIoEx", "CancelSynchronousIo", "GetFileInformationByHandleEx", "SetFileInformationByHandle",
    "GetFinalPathNameByHandleA", "GetFinalPathNameByHandleW", "CreateSymbolicLinkA", "CreateSymbolicLinkW",
    "QueryFullProcessImageNameA", "QueryFullProcessImageNameW", "GetErrorMode", "GetThreadId",
    "GetCurrentProcessorNumber", "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "CreateEventExA",
    "CreateEventExW", "CreateMutexExA", "CreateMutexExW", "CreateSemaphoreExA", "CreateSemaphoreExW",
    "CompareStringEx", "LCMapStringEx", "GetLocaleInfoEx", "GetUserDefaultLocaleName", "LocaleNameToLCID",
    "LCIDToLocaleName", "GetDynamicTimeZoneInformation", "GetConsoleScreenBufferInfoEx", "GetConsoleHistoryInfo",
    "QueryUnbiasedInterruptTime", "GetSystemTimePreciseAsFileTime", "SetThreadDescription",
    "GetOverlappedResultEx", "WaitOnAddress", "RegGetValueA", "RegGetValueW", "RegDeleteTreeA", "RegDeleteTreeW",
    "RegSetKeyValueA", "RegSetKeyValueW", "SetProcessDPIAware", "ChangeWindowMessageFilter",
    "AddClipboardFormatListener", "TaskDialog", "TaskDialogIndirect", "SHGetKnownFolderPath"};
// Libraries every XP has (setupapi.dll since Windows 2000); anything else (a
// compiler's runtime DLL, bcrypt.dll of Vista) would have to come with the
// program, and does not.
const std::set<std::string> XpLibraries = {"kernel32.dll", "user32.dll",   "gdi32.dll",    "comctl32.dll",
                                           "comdlg32.dll", "advapi32.dll", "winspool.drv", "msvcrt.dll",
                                           "shell32.dll",  "ole32.dll",    "version.dll",  "shlwapi.dll",
                                           "setupapi.dll"};

TEST(ReleasePrograms, NeedNothingNewerThanXpSp3) {
    for (const std::string& name : Programs) {
        SCOPED_TRACE(name);
        const std::string headers =
            RunCapture({"i686-w64-mingw32-objdump", "-p", Env("RELEASE_PROGRAMS") + "/" + name}).out;
        ASSERT_NE(headers.find("DLL Name"), std::string::npos) << "no import table read";
        // XP is 5.1: older Windows refuse to start a program that asks for more.
        for (const char* field : {"\nMajorOSystemVersion\t5\n", "\nMinorOSystemVersion\t1\n",
                                  "\nMajorSubsystemVersion\t5\n", "\nMinorSubsystemVersion\t1\n"})
            EXPECT_NE(headers.find(field), std::string::npos) << field;
        std::istringstream lines(headers);
        std::string line, dll;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string first, second, third;
            words >> first >> second >> third;
            if (first == "DLL" && second == "Name:") {
                dll = third;
                std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
                EXPECT_EQ(XpLibraries.count(dll), 1u) << dll;
            } else if (!dll.empty() && !third.empty() && second.find_first_not_of("0123456789") == std::string::npos) {
                // "vma  hint  name" rows of the current library
                EXPECT_EQ(LaterFunctions.count(third), 0u) << dll << " " << third;
                EXPECT_FALSE(dll == "msvcrt.dll" && third.size() > 2 && third.ends_with("_s")) << third;
            } else if (line.empty()) {
                dll.clear();
            }
        }
    }
}

// --- under Wine -------------------------------------------------------------

bool Ok(const std::vector<std::string>& args) { return session->Drive(args).status == 0; }

// Waits until every Wine process has ended, so that the installer is done and
// the registry is on disk.
void Settle() { RunQuiet({"wineserver", "-w"}); }

std::string DriveC() { return Env("WINEPREFIX") + "/drive_c"; }
// A 32-bit package goes to "Program Files (x86)" on 64-bit Windows.
std::string ProgramFiles() { return quarveld::wine::Runs32BitPrograms() ? "Program Files" : "Program Files (x86)"; }
std::string InstallDir() { return DriveC() + "/" + ProgramFiles() + "/" + Product; }

// Where the kernel runs no 32-bit program, the installed programs cannot be
// started. While they are, the installed files are then the same programs
// built for 64-bit Windows (STAND_INS, the Windows tests' build); the
// release's own go back before the upgrade.
class StandIns {
public:
    StandIns() {
        if (quarveld::wine::Runs32BitPrograms()) return;
        std::istringstream paths(Env("STAND_INS"));
        for (std::string path; std::getline(paths, path, ':');) {
            const std::string name = fs::path(path).filename().string();
            fs::copy_file(path, InstallDir() + "/" + name, fs::copy_options::overwrite_existing);
            swapped_.push_back(name);
        }
    }
    ~StandIns() {
        for (const std::string& name : swapped_)
            fs::copy_file(Env("RELEASE_PROGRAMS") + "/" + name, InstallDir() + "/" + name,
                          fs::copy_options::overwrite_existing);
    }
    StandIns(const StandIns&) = delete;
    StandIns& operator=(const StandIns&) = delete;

private:
    std::vector<std::string> swapped_;
};

// Every file and folder under drive_c, and the registry, as text.
std::set<std::string> Tree() {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(DriveC())) paths.insert(entry.path().string());
    return paths;
}
std::string Registry() { return Slurp(Env("WINEPREFIX") + "/system.reg") + Slurp(Env("WINEPREFIX") + "/user.reg"); }

// The "Programs and Features" entries that name our product: version of each.
std::vector<std::string> UninstallEntries() {
    std::vector<std::string> versions;
    const std::string registry = Slurp(Env("WINEPREFIX") + "/system.reg");
    // A key's values follow its name, up to a blank line.
    for (std::size_t at = 0, end = 0; at < registry.size(); at = end + 2) {
        end = std::min(registry.find("\n\n", at), registry.size());
        const std::string key = registry.substr(at, end - at) + "\n";
        std::smatch version;
        if (key.find("\\\\CurrentVersion\\\\Uninstall\\\\") < key.find('\n') &&
            key.find("\n\"DisplayName\"=\"" + Product + "\"\n") != std::string::npos &&
            std::regex_search(key, version, std::regex("\n\"DisplayVersion\"=\"([^\"]*)\"\n")))
            versions.push_back(version[1]);
    }
    return versions;
}

// The icon "Programs and Features" shows for the product, as a Unix path.
std::string ProductIcon() {
    const std::string registry = Registry();
    const std::size_t at = registry.find("\"ProductIcon\"=\"C:\\\\");
    if (at == std::string::npos) return "(none)";
    std::string path = registry.substr(at + 19, registry.find('"', at + 19) - at - 19);
    for (std::size_t slash; (slash = path.find("\\\\")) != std::string::npos;) path.replace(slash, 2, "/");
    return path.ends_with("QUARVELD.ico") ? DriveC() + "/" + path : "(not ours) " + path;
}

// The Start menu's shortcut NAME.lnk in our folder (the users' or everyone's).
std::string Shortcut(const std::string& name) {
    for (const auto& entry : fs::recursive_directory_iterator(DriveC()))
        if (entry.path().filename() == name + ".lnk" && entry.path().parent_path().filename() == Product &&
            entry.path().string().find("Start Menu/Programs") != std::string::npos)
            return entry.path().string();
    return "";
}

int Msiexec(const std::string& action, const std::string& msi) {
    const int status = RunQuiet({"wine", "msiexec", action, msi, "/qn"});
    Settle();
    return status;
}

// Starts a program through its shortcut, as the Start menu does, and looks at
// its window. The program and its icon are named as the shortcut unless given.
void StartFromShortcut(const std::string& name, const std::string& window, const std::string& screenshot,
                       std::string program = "", std::string icon = "") {
    if (program.empty()) program = name + ".exe";
    if (icon.empty()) icon = name + ".ico";
    const std::string link = Shortcut(name);
    ASSERT_FALSE(link.empty()) << "no shortcut " << name;
    const std::string bytes = Slurp(link);
    EXPECT_NE(bytes.find("C:\\" + ProgramFiles() + "\\" + Product + "\\" + program), std::string::npos)
        << name << ".lnk does not point at the installed program";
    EXPECT_NE(bytes.find(Utf16(icon)), std::string::npos) << name << ".lnk has not its icon";
    ASSERT_EQ(RunQuiet({"wine", "start", "/unix", link}), 0);
    ASSERT_TRUE(Ok({"wait", window, "20000"})) << name << " showed no window";
    EXPECT_TRUE(session->Screenshot(screenshot));
}

TEST(WindowsInstaller, InstallsStartsUpgradesAndRemovesWithoutTrace) {
    // Wine's persistent server would never end: settle by its end instead.
    RunQuiet({"wineserver", "-k"});
    Settle();
    const std::set<std::string> before = Tree();

    ASSERT_EQ(Msiexec("/i", Env("RELEASE_MSI")), 0);
    for (const std::string& name : Programs) EXPECT_TRUE(fs::exists(InstallDir() + "/" + name)) << name;
    EXPECT_TRUE(fs::exists(InstallDir() + "/README.txt"));
    EXPECT_EQ(UninstallEntries(), std::vector<std::string>{Env("RELEASE_VERSION")});
    EXPECT_TRUE(fs::exists(ProductIcon())) << "the entry has no icon: " << ProductIcon();

    std::optional<StandIns> standIns(std::in_place);
    StartFromShortcut("QUARVELD", "class=QUARVELD", "installed_quarveld");
    session->Drive({"command", "class=QUARVELD", "303"});
    EXPECT_TRUE(Ok({"click", "class=#32770;title=Exit", "7"}));
    EXPECT_TRUE(Ok({"gone", "class=QUARVELD", "15000"}));
    StartFromShortcut("Kelvane2", "class=formSimple", "installed_kelvane2");
    Ok({"close", "class=formSimple"});
    EXPECT_TRUE(Ok({"gone", "class=formSimple", "15000"}));
    const std::string station = "class=#32770;title=QUARVELD Station";
    StartFromShortcut("QUARVELD Station", station, "installed_station", "quarveld-station.exe",
                      "QuarveldStation.ico");
    Ok({"close", station});
    EXPECT_TRUE(Ok({"gone", station, "15000"}));
    Settle();

    std::ofstream(DriveC() + "/image.mot") << "S00600004844521B\r\nS1061000010203E3\r\nS9030000FC\r\n";
    const auto dryRun = RunCapture({"wine", InstallDir() + "/quarveld-write.exe", "--dry-run", "C:\\image.mot"});
    std::string frames = dryRun.out;
    frames.erase(std::remove(frames.begin(), frames.end(), '\r'), frames.end());
    EXPECT_EQ(dryRun.status, 0);
    EXPECT_EQ(frames, "02 00 00 00 00 00 03 01 40\n02 03 00 00 10 00 01 02 03 03 AD F6");
    fs::remove(DriveC() + "/image.mot");
    Settle();
    standIns.reset();

    // A later version takes the place of the first.
    ASSERT_EQ(Msiexec("/i", Env("NEXT_MSI")), 0);
    EXPECT_EQ(UninstallEntries(), std::vector<std::string>{Env("NEXT_VERSION")});
    for (const std::string& name : Programs)
        EXPECT_TRUE(HoldsVersion(VersionResource(InstallDir() + "/" + name), Env("NEXT_VERSION"))) << name;

    ASSERT_EQ(Msiexec("/x", Env("NEXT_MSI")), 0);
    // Windows' own cache of installers stays, as on every Windows, and so do
    // the settings Kelvane2 and the station stored for the user (README.txt
    // says so).
    std::vector<std::string> left;
    for (const std::string& path : Tree())
        if (!before.count(path) && path != DriveC() + "/windows/Installer" &&
            path.find("/AppData/Roaming/Kelvane") == std::string::npos &&
            path.find("/AppData/Roaming/quarveld") == std::string::npos)
            left.push_back(path);
    EXPECT_EQ(left, std::vector<std::string>{});
    EXPECT_EQ(Registry().find(Product), std::string::npos) << "the registry still names the product";
    RunQuiet({"wineserver", "-p"});
}

TEST(PortableZip, UnpacksToTheProgramsAndReadme) {
    const std::string folder = session->Exe().substr(0, session->Exe().rfind('/'));
    fs::remove_all(folder);
    ASSERT_EQ(RunQuiet({"unzip", "-q", Env("RELEASE_ZIP"), "-d", folder}), 0);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    std::set<std::string> expected(Programs.begin(), Programs.end());
    expected.insert("README.txt");
    EXPECT_EQ(names, expected);

    // Every line of README.txt ends in CR LF, for Notepad.
    const std::string readme = Slurp(folder + "/README.txt");
    ASSERT_FALSE(readme.empty());
    for (std::size_t at = readme.find('\n'); at != std::string::npos; at = readme.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && readme[at - 1] == '\r') << "a bare LF at byte " << at;
    for (const char* topic : {"TORWIN.INI", "%APPDATA%\\Kelvane", "2> ", "Kelvane2.exe", "QUARVELD.exe",
                              "quarveld-station.exe", "%LOCALAPPDATA%\\quarveld"})
        EXPECT_NE(readme.find(topic), std::string::npos) << topic;

    if (!quarveld::wine::Runs32BitPrograms()) GTEST_SKIP() << "this machine runs no 32-bit program";
    Program quarveld(*session);
    ASSERT_TRUE(quarveld.Started());
    EXPECT_TRUE(session->Screenshot("portable_quarveld"));
}

}  // namespace

int main(int argc, char** argv) { return quarveld::wine::RunAllTestsInSession(argc, argv, session); }
