// The profile layer and TORWIN.INI, on real files in a fresh folder.
#include <gtest/gtest.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "profile.hpp"
#include "profile_text.hpp"
#include "settings_file.hpp"

namespace fs = std::filesystem;
using namespace quarveld;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quarveld-profile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ini = (dir / "TORWIN.INI").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    void Put(const std::string& text) const {
        std::ofstream out(ini, std::ios::binary);
        out << text;
    }
    std::string Get() const {
        std::ifstream in(ini, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    PortSettings Load() const {
        PortSettings s{1, 2, 3, 4};
        LoadPortSettings(s, ini);
        return s;
    }

    fs::path dir;
    std::string ini;
};

TEST_F(ProfileFile, NamesMatchInAnyCaseAndValuesAreTrimmed) {
    Put("; comment\n[other]\nport0=0001\n[ quarveld ]\n  Port0 =  00c9  \n;PORT1=00ce\nPORT1\n");
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT0", "x"), "00c9");
    EXPECT_EQ(GetProfileString(ini, "Quarveld", "port0", "x"), "00c9");
    // A commented-out key and a line without '=' are no keys.
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT1", "0000"), "0000");
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT2", "0000"), "0000");
    EXPECT_EQ(GetProfileString(ini, "missing", "PORT0", "dflt"), "dflt");
    EXPECT_EQ(GetProfileString((dir / "none.ini").string(), "QUARVELD", "PORT0", "0000"), "0000");
}

TEST_F(ProfileFile, ReadsAndWritesAsTheProfileFunctionsDo) {
    // Enclosing quotes come off; a lone CR ends a line, the last one too.
    Put("[QUARVELD]\rPORT0=\"00c9\"\r\nPORT1='00ce'\nPORT2=\"00d1\rPORT3=00d4\r");
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT0", ""), "00c9");
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT1", ""), "00ce");
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT2", ""), "\"00d1");
    // A key written behind such a line leaves that line's value alone.
    ASSERT_TRUE(WriteProfileString(ini, "QUARVELD", "PORT9", "1"));
    EXPECT_EQ(GetProfileString(ini, "QUARVELD", "PORT3", ""), "00d4");

    // Names with blanks around them are found, and written once, without the blanks.
    Put("[A]\nx=1\n");
    ASSERT_TRUE(WriteProfileString(ini, " A ", " y\t", "2"));
    ASSERT_TRUE(WriteProfileString(ini, " A ", " y\t", "3"));
    ASSERT_TRUE(WriteProfileString(ini, " B", "z ", "4"));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=3\n[B]\nz=4\n");
    EXPECT_EQ(GetProfileString(ini, "  a ", " Y ", ""), "3");
}

TEST_F(ProfileFile, WriteChangesOnlyItsLineAndKeepsEverythingElse) {
    // Only the value of PORT0 changes; the other section, the comment, the
    // missing final line end and the CRLF ends stay.
    std::string before = "; settings\r\n[Devices]\r\nCOM1=/dev/ttyUSB0\r\n\r\n[QUARVELD]\r\nport0 = 00cb\r\n"
                         "; keep me\r\nPORT3=00d2";
    EXPECT_EQ(SetProfileValue(before, "QUARVELD", "PORT0", "00ca"),
              "; settings\r\n[Devices]\r\nCOM1=/dev/ttyUSB0\r\n\r\n[QUARVELD]\r\nPORT0=00ca\r\n"
              "; keep me\r\nPORT3=00d2");
    // A new key goes behind the section's last line, before the blank line
    // that separates it from the next section.
    EXPECT_EQ(SetProfileValue("[A]\nx=1\n\n[B]\ny=2\n", "a", "z", "3"), "[A]\nx=1\nz=3\n\n[B]\ny=2\n");
    EXPECT_EQ(SetProfileValue("[A]\r\nx=1", "A", "z", "3"), "[A]\r\nx=1\r\nz=3\r\n");
    // A new section goes at the end.
    EXPECT_EQ(SetProfileValue("[A]\nx=1", "B", "k", "v"), "[A]\nx=1\n[B]\nk=v\n");
    EXPECT_EQ(SetProfileValue("", "B", "k", "v"), "[B]\nk=v\n");
}

TEST_F(ProfileFile, WriteRefusesTextThatWouldBreakTheFile) {
    Put("[A]\nx=1\n");
    EXPECT_FALSE(WriteProfileString(ini, "A", "x", "1\n[B]"));
    EXPECT_FALSE(WriteProfileString(ini, "A]", "x", "1"));
    EXPECT_FALSE(WriteProfileString(ini, "A", "x=y", "1"));
    EXPECT_FALSE(WriteProfileString(ini, "A", ";x", "1"));
    EXPECT_EQ(Get(), "[A]\nx=1\n");
}

TEST_F(ProfileFile, WriteReplacesTheFileAndKeepsItsPermissions) {
    Put("[A]\nx=1\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0604), 0);
    ASSERT_TRUE(WriteProfileString(ini, "A", "x", "2"));
    EXPECT_EQ(Get(), "[A]\nx=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // Through a link the file it points at changes; the link stays a link.
    fs::path link = dir / "link.ini";
    fs::create_symlink(ini, link);
    ASSERT_TRUE(WriteProfileString(link.string(), "A", "x", "3"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get(), "[A]\nx=3\n");
}

TEST_F(ProfileFile, UnreadableFileIsNotOverwritten) {
    Put("[A]\nx=1\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0200), 0);
    // Root reads every file: the write is tried as an ordinary user.
    constexpr uid_t nobody = 65534;
    const bool dropRights = ::geteuid() == 0;
    if (dropRights) {
        ASSERT_EQ(::chown(dir.c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(ini.c_str(), nobody, nobody), 0);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (dropRights && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)) {
            ::_exit(2);
        }
        ::_exit(WriteProfileString(ini, "A", "y", "2") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write went through, 2: could not drop rights";
    ASSERT_EQ(::chmod(ini.c_str(), 0600), 0);
    EXPECT_EQ(Get(), "[A]\nx=1\n");
}

// Editors on Windows start the file with a UTF-8 byte-order mark: the first
// section is found behind it, and a save keeps it and adds no second section.
TEST_F(ProfileFile, AByteOrderMarkIsReadPastAndKept) {
    Put("\xEF\xBB\xBF[QUARVELD]\r\nPORT0=00c9\r\nPORT1=00ce\r\nPORT2=00d1\r\nPORT3=00d3\r\n");
    EXPECT_EQ(Load(), (PortSettings{201, 206, 209, 211}));
    ASSERT_TRUE(SavePortSettings(PortSettings{203, 205, 208, 212}, ini));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[QUARVELD]\r\nPORT0=00cb\r\nPORT1=00cd\r\nPORT2=00d0\r\nPORT3=00d4\r\n");
}

// A pipe where the file belongs is never waited on: the defaults, a reason
// that names it, and no save into it.
TEST_F(ProfileFile, APipeIsNotWaitedOnAndGivesTheDefaults) {
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(10);  // a read that waits for a writer ends here
            std::string why;
            const bool saved = SavePortSettings(PortSettings{}, ini, &why);
            std::fprintf(stderr, "%d %d %s | %s", Load().BaudRate, saved, why.c_str(),
                         SettingsFileProblem(ini).c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "202 0 it is a pipe, not a file \\| .*TORWIN.INI: it is a pipe");
}

// What stands at the file's path and cannot serve: named with the reason, the
// defaults used, and a save that leaves it as it was. A second byte-order
// mark, as some editors add, is a blank: the file still reads.
TEST_F(ProfileFile, FilesThatCannotServeAreNamedAndLeftAsTheyAre) {
    const std::string valid = "[QUARVELD]\nPORT0=00c9\nPORT1=00ce\nPORT2=00d1\nPORT3=00d3\n[Devices]\nCOM1=/dev/pts/9\n";
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string problem;  // "" when the file reads
    };
    const Case cases[] = {
        {"over 1 MB", [&] { Put(valid + std::string(LargestProfile, ';')); },
         "it is over 1 MB long, too large for a settings file"},
        {"3 GB, sparse", [&] { Put(valid); ASSERT_EQ(::truncate(ini.c_str(), 3LL << 30), 0); },
         "it is over 1 MB long, too large for a settings file"},
        {"a link to nothing", [&] { fs::create_symlink(dir / "gone" / "TORWIN.INI", ini); },
         "it is a link to " + (dir / "gone" / "TORWIN.INI").string() + ", which is not there"},
        {"two byte-order marks", [&] { Put(bom + bom + "[Devices]\r\nCOM1=/dev/pts/9\r\n" + bom + " [QUARVELD]\r\n" +
                                           valid.substr(11)); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(ini);
        c.make();
        const auto size = fs::symlink_status(ini).type() == fs::file_type::symlink ? 0 : fs::file_size(ini);
        const quarveld::ProfileFile file(ini);
        EXPECT_EQ(file.problem(), c.problem);
        PortSettings settings;
        LoadPortSettings(settings, file);
        EXPECT_EQ(settings, (c.problem.empty() ? PortSettings{201, 206, 209, 211} : PortSettings{}));
        EXPECT_EQ(LoadDeviceMap(file).COM1, c.problem.empty() ? "/dev/pts/9" : "/dev/ttyS0");
        if (c.problem.empty()) continue;
        EXPECT_EQ(SettingsFileProblem(file),
                  "The port settings could not be read from " + ini + ": " + c.problem + ". The default settings are used.");
        std::string why;
        EXPECT_FALSE(SavePortSettings(PortSettings{}, ini, &why));
        EXPECT_EQ(why, c.problem);
        EXPECT_EQ(fs::symlink_status(ini).type() == fs::file_type::symlink ? 0 : fs::file_size(ini), size);
        EXPECT_FALSE(fs::exists(dir / ".TORWIN.INI.saving"));
    }
}

// Whatever stands at the temporary name, a save ends with a reason and never
// waits for ever: not for a pipe's reader, not for another program's lock.
// A leftover of another user is taken away where the folder allows it.
TEST_F(ProfileFile, ASaveNeverWaitsForEverAndSaysWhatIsInTheWay) {
    const std::string temp = (dir / ".TORWIN.INI.saving").string();
    constexpr uid_t nobody = 65534;
    int held = -1;
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string why;  // "" when the save goes through
        bool asNobody = false;
    };
    const Case cases[] = {
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(temp.c_str(), 0600), 0); },
         temp + " stands in the way of the save: it is a pipe, not a file; remove it"},
        {"a folder", [&] { fs::create_directory(temp); },
         temp + " stands in the way of the save: it is a folder, not a file; remove it"},
        {"a link", [&] { fs::create_symlink(dir / "elsewhere", temp); },
         temp + " stands in the way of the save: it is a symbolic link, not a file; remove it"},
        {"locked by another save", [&] {
             held = ::open(temp.c_str(), O_WRONLY | O_CREAT, 0600);
             ASSERT_EQ(::flock(held, LOCK_EX), 0);
         }, "another program is saving the file; try again when it is done"},
        {"root's leftover in a folder of the user's", [&] {
             std::ofstream(temp) << "half";
             ASSERT_EQ(::chown(dir.c_str(), nobody, nobody), 0);
             ASSERT_EQ(::chown(ini.c_str(), nobody, nobody), 0);
         }, "", true},
        {"root's leftover in a shared folder", [&] {
             std::ofstream(temp) << "half";
             ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
             ASSERT_EQ(::chown(ini.c_str(), nobody, nobody), 0);
         }, temp + " was left by an earlier save, and you may not remove it; its owner or an administrator can", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asNobody && ::geteuid() != 0) continue;  // another user's leftover needs root to make
        Put("[QUARVELD]\nPORT0=00c9\n");
        c.make();
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::alarm(20);  // a save that waits for ever ends here
            if (c.asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(2);
            std::string why;
            const bool saved = SavePortSettings(PortSettings{}, ini, &why);
            std::ofstream(ini + ".why") << why;
            ::_exit(saved ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_TRUE(WIFEXITED(status)) << "the save hung";
        EXPECT_EQ(WEXITSTATUS(status), c.why.empty() ? 0 : 1);
        std::ifstream told(ini + ".why");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(told), {}), c.why);
        EXPECT_LT(seconds, 10);
        EXPECT_EQ(Get(), c.why.empty() ? "[QUARVELD]\nPORT0=00ca\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n"
                                       : "[QUARVELD]\nPORT0=00c9\n");
        if (held >= 0) ::close(held);
        held = -1;
        ::chown(dir.c_str(), 0, 0);
        ::chmod(dir.c_str(), 0700);
        fs::remove_all(temp);
        fs::remove(ini + ".why");
    }
}

// A file the user may not write stays as it is and the save fails, as the
// profile functions of Windows do; for root, one with no write permission.
TEST_F(ProfileFile, AWriteProtectedFileIsLeftAsItIs) {
    Put("[QUARVELD]\nPORT0=00c9\n");
    ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
    std::string why;
    EXPECT_FALSE(SavePortSettings(PortSettings{}, ini, &why));
    EXPECT_EQ(why, "the file is write-protected");
    EXPECT_EQ(Get(), "[QUARVELD]\nPORT0=00c9\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(ProfileFile, MissingFileGivesDefaultsAndSaveWritesTheFourLines) {
    EXPECT_EQ(Load(), (PortSettings{202, 205, 207, 210}));
    EXPECT_FALSE(fs::exists(ini));  // loading writes nothing
    // The folder is created when it does not exist yet.
    std::string nested = (dir / "sub" / "TORWIN.INI").string();
    ASSERT_TRUE(SavePortSettings(PortSettings{}, nested));
    std::ifstream in(nested, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text, "[QUARVELD]\nPORT0=00ca\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n");
}

TEST_F(ProfileFile, StoredValuesAreScannedAsFourHexDigits) {
    Put("[QUARVELD]\nPORT0=00c9\nPORT1=00ce\nPORT2=00d1\nPORT3=00d4\n");
    EXPECT_EQ(Load(), (PortSettings{201, 206, 209, 212}));
    Put("[QUARVELD]\nPORT0=00C9\nPORT1=00CE\nPORT2=  00D0\nPORT3=00D3\n");
    EXPECT_EQ(Load(), (PortSettings{201, 206, 208, 211}));
    // Only the first four digits count.
    Put("[QUARVELD]\nPORT0=00c95\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n");
    EXPECT_EQ(Load(), (PortSettings{201, 205, 207, 210}));
    Put("[QUARVELD]\nPORT0=00cb\nPORT1=00cd\nPORT2=00cf\n");  // PORT3 missing: 0, out of range
    EXPECT_EQ(Load(), (PortSettings{202, 205, 207, 210}));
}

TEST_F(ProfileFile, OneValueOutOfRangeResetsAllFour) {
    // 201 is read as 0x201; the valid 00c9.. values go back to the defaults too.
    Put("[QUARVELD]\nPORT0=201\nPORT1=00ce\nPORT2=00d1\nPORT3=00d4\n");
    EXPECT_EQ(Load(), (PortSettings{202, 205, 207, 210}));
    Put("[QUARVELD]\nPORT0=00cb\nPORT1=00ce\nPORT2=zz\nPORT3=00d3\n");
    EXPECT_EQ(Load(), (PortSettings{202, 205, 207, 210}));
    Put("[QUARVELD]\nPORT0=00cb\nPORT1=00ce\nPORT2=00d1\nPORT3=00d5\n");
    EXPECT_EQ(Load(), (PortSettings{202, 205, 207, 210}));
}

TEST_F(ProfileFile, SaveKeepsOtherSectionsCommentsAndCrlfByteForByte) {
    std::string before =
        "; written by hand\r\n[Devices]\r\nCOM1=/dev/serial/by-id/usb-x\r\n\r\n"
        "[Quarveld]\r\n; the port\r\nport3 = 00d4\r\nPORT0=00c9\r\n\r\n[Other]\r\nKey=Value\r\n";
    Put(before);
    ASSERT_TRUE(SavePortSettings(PortSettings{203, 206, 208, 211}, ini));
    EXPECT_EQ(Get(),
              "; written by hand\r\n[Devices]\r\nCOM1=/dev/serial/by-id/usb-x\r\n\r\n"
              "[Quarveld]\r\n; the port\r\nPORT3=00d3\r\nPORT0=00cb\r\nPORT1=00ce\r\nPORT2=00d0\r\n\r\n"
              "[Other]\r\nKey=Value\r\n");
    EXPECT_EQ(Load(), (PortSettings{203, 206, 208, 211}));
}

TEST_F(ProfileFile, KilledSavesLeaveOneWholeSetAndTheNextSaveClearsUp) {
    // Saves killed at any moment: the file holds one whole set, never a mix.
    const PortSettings sets[2] = {{201, 206, 209, 212}, {202, 205, 207, 210}};
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) SavePortSettings(sets[i % 2], ini);
        }
        ::usleep(static_cast<useconds_t>(200 + (round * 377) % 3000));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const PortSettings found = Load();
        ASSERT_TRUE(found == sets[0] || found == sets[1]) << "round " << round << ": " << Get();
    }
    // Whatever the kills left beside the file, the next save clears it.
    ASSERT_TRUE(SavePortSettings(sets[0], ini));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"TORWIN.INI"});
    EXPECT_EQ(Load(), sets[0]);
}

TEST_F(ProfileFile, DeviceMapAndFileLocation) {
    Put("[devices]\ncom1 = /dev/pts/7\nLPT1=\nCom12=/dev/ttyUSB3\nCOM257=/dev/x\nCOM3=\n");
    DeviceMap map = LoadDeviceMap(ini);
    EXPECT_EQ(map.COM1, "/dev/pts/7");
    EXPECT_EQ(map.COM2, "/dev/ttyS1");
    EXPECT_EQ(map.LPT1, "/dev/lp0");
    EXPECT_EQ(map.more, (std::map<int, std::string>{{12, "/dev/ttyUSB3"}}));

    std::string oldConfig = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    EXPECT_EQ(SettingsFilePath(), ini);
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/TORWIN.INI");
    if (oldConfig.empty()) ::unsetenv("XDG_CONFIG_HOME"); else ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
    ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
