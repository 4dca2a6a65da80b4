// QUARVELD.exe end to end under Wine: whole write runs against the simulated
// printer on COM1 (a pty) and on LPT1 (a file), the Port dialog, the "Exit"
// question and TORWIN.INI; screenshots of every window into QUARVELD_E2E_DIR.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "image_files.hpp"
#include "simulated_printer.hpp"
#include "wine_session.hpp"
#include "wine_test_main.hpp"

namespace {

using quarveld::wine::Program;
using quarveld::wine::Session;
namespace sim = quarveld::sim;
using Frames = std::vector<std::vector<uint8_t>>;

const std::string MainWindow = "class=QUARVELD";
const std::string WriteDialog = "class=#32770;title=Write";
const std::string PortDialog = "class=#32770;title=Port";
const std::string ExitDialog = "class=#32770;title=Exit";
const std::string EndNotice = "class=#32770;has=Write End !";
const std::string ErrorNotice = "class=#32770;has=Write Error !";

Session* session = nullptr;

// Frames as the printer must receive them, built here from the image's text
// on their own (CRC-16/ARC by table), not by the writer's core.
struct Expected {
    Frames frames;
    long dataBytes = 0;
};

Expected ExpectedFrames(const std::string& image) {
    Expected expected;
    std::size_t at = 0;
    while (at < image.size()) {
        std::size_t end = image.find('\n', at);
        if (end == std::string::npos) end = image.size();
        const std::string line = image.substr(at, end - at);
        at = end + 1;
        if (line.size() < 4 || line[0] != 'S') continue;
        const char type = line[1];
        if (type >= '7' && type <= '9') break;
        std::vector<uint8_t> frame = {0x02, 0, 0, 0, 0, 0};
        if (type >= '1' && type <= '3') {
            const int addressBytes = type - '0' + 1;
            const int count = std::stoi(line.substr(2, 2), nullptr, 16);
            for (int i = 0; i < addressBytes; ++i)
                frame[2 + 4 - addressBytes + i] = uint8_t(std::stoi(line.substr(4 + 2 * i, 2), nullptr, 16));
            const int n = count - addressBytes - 1;
            frame[1] = uint8_t(n);
            for (int i = 0; i < n; ++i)
                frame.push_back(uint8_t(std::stoi(line.substr(4 + 2 * addressBytes + 2 * i, 2), nullptr, 16)));
            expected.dataBytes += n;
        }
        frame.push_back(0x03);
        const uint16_t crc = quarveld::test::TableCrc(frame.data() + 1, frame.size() - 1);
        frame.push_back(uint8_t(crc >> 8));
        frame.push_back(uint8_t(crc & 0xFF));
        expected.frames.push_back(frame);
    }
    return expected;
}

std::string Counter(long total) {
    char text[16];
    std::snprintf(text, sizeof text, "%8ld", total);
    return text;
}

class QuarveldExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(session, nullptr);
        std::error_code ignored;
        std::filesystem::remove(session->IniFile(), ignored);
        session->EmptyLpt1();
    }

    std::string Path(const std::string& name) const { return session->Dir() + "/" + name; }

    // An image made by srec_cat from `size` bytes, `format` "S19", "S28" or "S37".
    std::string MakeImage(const std::string& format, std::size_t size, unsigned offset) const {
        std::string data;
        for (std::size_t i = 0; i < size; ++i) data.push_back(char((i * 37 + 11) & 0xFF));
        const std::string bin = Path("data.bin");
        std::ofstream(bin, std::ios::binary) << data;
        const std::string out = Path("image_" + format + ".MOT");
        const std::string length = format == "S19" ? "2" : format == "S28" ? "3" : "4";
        const int status = quarveld::wine::RunQuiet({"srec_cat", bin, "-binary", "-offset", std::to_string(offset),
                                                     "-execution-start-address", std::to_string(offset),
                                                     "-o", out, "-motorola", "-address-length=" + length,
                                                     "-Output_Block_Size", "32"});
        EXPECT_EQ(status, 0) << "srec_cat";
        return out;
    }

    std::string Drive(const std::vector<std::string>& args) const { return session->Drive(args).out; }
    bool Ok(const std::vector<std::string>& args) const { return session->Drive(args).status == 0; }

    // "&Write !" and the image chosen in the open-file dialog.
    void StartWrite(const std::string& image) const {
        ASSERT_TRUE(Ok({"command", MainWindow, "301"}));
        ASSERT_TRUE(Ok({"openfile", image}));
    }

    // The place on the screen of a window (id "0") or control: left, top, width, height.
    std::array<long, 4> Rect(const std::string& which, const std::string& id) const {
        std::array<long, 4> r{};
        std::istringstream(Drive({"rect", which, id})) >> r[0] >> r[1] >> r[2] >> r[3];
        return r;
    }

    // Waits for the notice, reads the counter behind it, presses OK and
    // waits for the Write dialog to end.
    std::string FinishWithNotice(const std::string& notice, const std::string& screenshot = "") const {
        EXPECT_TRUE(Ok({"wait", notice, "20000"})) << notice;
        // A quick run can end before the Write dialog was first shown.
        const std::string counter = Drive({"text", WriteDialog + ";shown=any", "213"});
        if (Ok({"wait", WriteDialog, "0"})) {
            // The notice leaves the counter readable.
            const auto n = Rect(notice, "0"), c = Rect(WriteDialog, "213");
            EXPECT_GT(n[2], 0);
            EXPECT_TRUE(n[0] >= c[0] + c[2] || c[0] >= n[0] + n[2] || n[1] >= c[1] + c[3] || c[1] >= n[1] + n[3])
                << "notice at " << n[0] << "," << n[1] << ", counter at " << c[0] << "," << c[1];
        }
        if (!screenshot.empty()) {
            EXPECT_TRUE(session->Screenshot(screenshot));
        }
        EXPECT_TRUE(Ok({"click", notice, "1"}));
        EXPECT_TRUE(Ok({"gone", WriteDialog + ";shown=any"}));
        return counter;
    }

    // Chooses these Port dialog buttons and presses OK.
    void ChoosePort(const std::vector<std::string>& ids) const {
        ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
        ASSERT_TRUE(Ok({"wait", PortDialog}));
        for (const std::string& id : ids) ASSERT_TRUE(Ok({"click", PortDialog, id}));
        ASSERT_TRUE(Ok({"click", PortDialog, "1"}));
        ASSERT_TRUE(Ok({"gone", PortDialog}));
    }

    // Leaves the program through "&Exit !" (or the close box) with this answer.
    void Leave(Program& program, const std::string& answer, bool closeBox = false) const {
        ASSERT_TRUE(closeBox ? Ok({"close", MainWindow}) : Ok({"command", MainWindow, "303"}));
        ASSERT_TRUE(Ok({"wait", ExitDialog}));
        ASSERT_TRUE(Ok({"click", ExitDialog, answer}));
        EXPECT_TRUE(program.WaitForExit(10000));
        EXPECT_EQ(program.ExitStatus(), 0);
    }
};

TEST_F(QuarveldExe, SerialRunsSendEveryRecordByteForByteAndEndWithWriteEnd) {
    // Format, size, offset; 64,000 bytes: all five digits of the counter beside the notice.
    const std::vector<std::tuple<std::string, std::size_t, unsigned>> images = {
        {"S19", 200, 0x1000}, {"S28", 64000, 0x12340}, {"S37", 200, 0x01020300}};
    Program program(*session);
    ASSERT_TRUE(program.Started());
    for (const auto& [format, size, offset] : images) {
        SCOPED_TRACE(format);
        const std::string image = MakeImage(format, size, offset);
        const Expected expected = ExpectedFrames(quarveld::wine::Slurp(image));
        sim::SimulatedPrinter printer;
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        StartWrite(image);
        if (size > 200) {
            ASSERT_TRUE(Ok({"wait", WriteDialog}));
        }
        EXPECT_EQ(FinishWithNotice(EndNotice, size > 200 ? "write_end" : ""), Counter(expected.dataBytes));
        EXPECT_EQ(printer.frames(), expected.frames);
        for (const sim::FrameInfo& f : printer.frameLog()) EXPECT_TRUE(f.good) << "frame " << f.index;
    }
    Leave(program, "7");
}

TEST_F(QuarveldExe, CounterWhileWaitingAbortAndThePortOpensAgain) {
    // Header, one data line, a count line: the worked example's frames.
    const std::string image = Path("small.MOT");
    std::ofstream(image, std::ios::binary) << "S00600004844521B\r\nS1061000010203E3\r\nS5030001FB\r\nS9030000FC\r\n";
    Program program(*session);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(session->Screenshot("main_window"));
    {
        sim::Behaviour silent;
        silent.silentFromFrame = 2;
        sim::SimulatedPrinter printer(silent);
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        StartWrite(image);
        ASSERT_TRUE(printer.waitForFrames(3, 10000));
        // The counter has taken the accepted data frame and stays there.
        ASSERT_TRUE(Ok({"wait", WriteDialog}));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(Drive({"text", WriteDialog, "213"}), Counter(3));
        EXPECT_TRUE(session->Screenshot("write_dialog"));
        const Frames frames = printer.frames();
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[0], (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40}));
        EXPECT_EQ(frames[1],
                  (std::vector<uint8_t>{0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6}));
        EXPECT_EQ(frames[2], frames[0]);

        // Escape is no answer; ABORT (by Enter, the default button) ends the run without a notice.
        ASSERT_TRUE(Ok({"key", WriteDialog, "27"}));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(Ok({"wait", WriteDialog, "0"}));
        ASSERT_TRUE(Ok({"key", WriteDialog, "13"}));
        EXPECT_TRUE(Ok({"gone", WriteDialog, "3000"}));
        EXPECT_FALSE(Ok({"wait", "class=#32770", "500"}));
        EXPECT_EQ(printer.framesReceived(), 3u);
    }
    // The aborted run closed the port: the next one opens it and runs to the end.
    sim::SimulatedPrinter printer;
    quarveld::wine::ControllingTerminal terminal(printer.devicePath());
    session->MapCom1(printer.devicePath());
    StartWrite(image);
    EXPECT_EQ(FinishWithNotice(EndNotice), Counter(3));
    EXPECT_EQ(printer.framesReceived(), 3u);
    Leave(program, "7");
}

TEST_F(QuarveldExe, NakAndFailuresAtTheStartGiveWriteError) {
    const std::string image = MakeImage("S19", 100, 0x2000);
    Program program(*session);
    ASSERT_TRUE(program.Started());
    {
        sim::Behaviour nak;
        nak.nakAtFrame = 2;
        nak.noiseBeforeAnswer = "\x11\x7f";  // passed over before each answer
        sim::SimulatedPrinter printer(nak);
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        StartWrite(image);
        // Frames 0 (header) and 1 were accepted: 32 data bytes.
        EXPECT_EQ(FinishWithNotice(ErrorNotice, "write_error"), Counter(32));
        EXPECT_EQ(printer.framesReceived(), 3u);  // the refused frame is not sent again
        EXPECT_NE(program.Stderr().find("NAK"), std::string::npos) << program.Stderr();
    }
    {
        // A missing image: nothing reaches the port.
        sim::SimulatedPrinter printer;
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        StartWrite(Path("missing.MOT"));
        EXPECT_TRUE(Ok({"wait", ErrorNotice}));
        EXPECT_FALSE(Ok({"wait", WriteDialog, "0"}));  // the Write dialog never shows
        EXPECT_TRUE(Ok({"click", ErrorNotice, "1"}));
        EXPECT_TRUE(Ok({"gone", ErrorNotice}));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(printer.received().empty());
    }
    // A COM1 that cannot be opened. (Wine maps a path that is not there to
    // its own default device instead; a folder is there and fails.)
    std::filesystem::create_directories(Path("not-a-device"));
    session->MapCom1(Path("not-a-device"));
    StartWrite(image);
    EXPECT_TRUE(Ok({"wait", ErrorNotice}));
    EXPECT_TRUE(Ok({"click", ErrorNotice, "1"}));
    EXPECT_TRUE(Ok({"gone", ErrorNotice}));
    EXPECT_NE(program.Stderr().find("COM1"), std::string::npos) << program.Stderr();
    {
        // A COM2 that opens but has no line to set up (here a plain file; an
        // unmapped port or a virtual one can do the same): the error at once.
        const std::string noLine = Path("no-line");
        std::ofstream{noLine};
        session->MapCom2(noLine);
        ChoosePort({"211"});
        StartWrite(image);
        const bool notice = Ok({"wait", ErrorNotice, "5000"});
        EXPECT_TRUE(notice) << "no Write Error !";
        if (!notice) Ok({"click", WriteDialog, "3"});
        EXPECT_TRUE(Ok({"click", ErrorNotice, "1"}));
        EXPECT_TRUE(Ok({"gone", "class=#32770"}));
        const std::string said = program.Stderr();
        EXPECT_NE(said.find("COM2"), std::string::npos) << said;
        EXPECT_NE(said.find("its line cannot be set up"), std::string::npos) << said;
        EXPECT_EQ(quarveld::wine::Slurp(noLine), "");
        ChoosePort({"210"});
    }
    // The file dialog cancelled: nothing at all.
    ASSERT_TRUE(Ok({"command", MainWindow, "301"}));
    ASSERT_TRUE(Ok({"wait", "class=#32770"}));
    ASSERT_TRUE(Ok({"click", "class=#32770", "2"}));
    EXPECT_TRUE(Ok({"gone", "class=#32770"}));
    Leave(program, "7");
}

TEST_F(QuarveldExe, Lpt1ChosenInThePortDialogGetsTheFramesWithoutAnswers) {
    const std::string image = MakeImage("S28", 150, 0x40000);
    const Expected expected = ExpectedFrames(quarveld::wine::Slurp(image));
    Program program(*session);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
    ASSERT_TRUE(Ok({"wait", PortDialog}));
    ASSERT_TRUE(Ok({"click", PortDialog, "212"}));
    // The serial choices are disabled but keep their checks.
    EXPECT_EQ(Drive({"state", PortDialog, "202"}), "checked disabled visible");
    EXPECT_EQ(Drive({"state", PortDialog, "207"}), "checked disabled visible");
    EXPECT_TRUE(session->Screenshot("port_dialog_lpt1"));
    ASSERT_TRUE(Ok({"click", PortDialog, "1"}));
    ASSERT_TRUE(Ok({"gone", PortDialog}));

    StartWrite(image);
    EXPECT_EQ(FinishWithNotice(EndNotice), Counter(expected.dataBytes));
    std::string wanted;
    for (const auto& frame : expected.frames) wanted.append(frame.begin(), frame.end());
    EXPECT_EQ(quarveld::wine::Slurp(session->Lpt1File()), wanted);

    // Back on COM1 the serial buttons come back as they were.
    ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
    ASSERT_TRUE(Ok({"wait", PortDialog}));
    EXPECT_EQ(Drive({"state", PortDialog, "212"}), "checked enabled visible");
    EXPECT_EQ(Drive({"state", PortDialog, "201"}), "unchecked disabled visible");
    ASSERT_TRUE(Ok({"click", PortDialog, "210"}));
    EXPECT_EQ(Drive({"state", PortDialog, "202"}), "checked enabled visible");
    ASSERT_TRUE(Ok({"click", PortDialog, "2"}));
    ASSERT_TRUE(Ok({"gone", PortDialog}));
    Leave(program, "7");
}

TEST_F(QuarveldExe, PortChoicesReachTheLineAndExitAnswersDecideTheIniFile) {
    {
        Program program(*session);
        ASSERT_TRUE(program.Started());
        // The main window as the program creates it.
        EXPECT_EQ(Drive({"text", MainWindow, "0"}), "Flarnex  Ver1.1.0.1");
        EXPECT_EQ(Drive({"rect", MainWindow}), "20 20 480 80");
        const unsigned long style = std::stoul(Drive({"style", MainWindow}).substr(0, 8), nullptr, 16);
        EXPECT_EQ(style & 0x00CF0000ul, 0x00CA0000ul);  // caption, system menu, minimize; no maximize, no sizing

        ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
        ASSERT_TRUE(Ok({"wait", PortDialog}));
        EXPECT_TRUE(session->Screenshot("port_dialog"));
        ASSERT_TRUE(Ok({"click", PortDialog, "2"}));
        ChoosePort({"201", "206", "209"});

        sim::Behaviour silent;
        silent.silentFromFrame = 0;
        sim::SimulatedPrinter printer(silent);
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        StartWrite(MakeImage("S19", 10, 0));
        ASSERT_TRUE(printer.waitForFrames(1, 10000));
        // A pty takes the speed; it forces 8 bits without parity, so 7E cannot be seen here.
        termios line{};
        const int fd = open(printer.devicePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(tcgetattr(fd, &line), 0);
        close(fd);
        EXPECT_EQ(cfgetospeed(&line), B19200);
        ASSERT_TRUE(Ok({"click", WriteDialog, "3"}));
        ASSERT_TRUE(Ok({"gone", WriteDialog}));

        // CANCEL keeps the program; the close box asks like "&Exit !".
        ASSERT_TRUE(Ok({"command", MainWindow, "303"}));
        ASSERT_TRUE(Ok({"wait", ExitDialog}));
        EXPECT_TRUE(session->Screenshot("exit_dialog"));
        ASSERT_TRUE(Ok({"click", ExitDialog, "2"}));
        ASSERT_TRUE(Ok({"gone", ExitDialog}));
        EXPECT_FALSE(program.WaitForExit(500));
        EXPECT_FALSE(std::filesystem::exists(session->IniFile()));
        Leave(program, "6", true);
    }
    const std::string ini = quarveld::wine::Slurp(session->IniFile());
    for (const char* line : {"PORT0=00c9", "PORT1=00ce", "PORT2=00d1", "PORT3=00d2"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << " in\n" << ini;

    {
        // The next start reads them back; NO leaves the file as it was.
        Program program(*session);
        ASSERT_TRUE(program.Started());
        ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
        ASSERT_TRUE(Ok({"wait", PortDialog}));
        EXPECT_EQ(Drive({"state", PortDialog, "201"}), "checked enabled visible");
        EXPECT_EQ(Drive({"state", PortDialog, "206"}), "checked enabled visible");
        EXPECT_EQ(Drive({"state", PortDialog, "209"}), "checked enabled visible");
        ASSERT_TRUE(Ok({"click", PortDialog, "204"}));
        ASSERT_TRUE(Ok({"click", PortDialog, "1"}));
        ASSERT_TRUE(Ok({"gone", PortDialog}));
        Leave(program, "7");
    }
    EXPECT_EQ(quarveld::wine::Slurp(session->IniFile()), ini);

    // A value out of range resets all four, the valid ones included.
    std::ofstream(session->IniFile(), std::ios::binary) << "[QUARVELD]\r\nPORT0=201\r\nPORT1=00ce\r\nPORT2=00d1\r\nPORT3=00d4\r\n";
    Program program(*session);
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
    ASSERT_TRUE(Ok({"wait", PortDialog}));
    for (const char* id : {"202", "205", "207", "210"})
        EXPECT_EQ(Drive({"state", PortDialog, id}), "checked enabled visible") << id;
    ASSERT_TRUE(Ok({"click", PortDialog, "2"}));
    Leave(program, "7");
}

// Images in folders named in scripts the ANSI code page cannot hold, chosen
// in a file dialog that the main window owns (no taskbar button of its own).
TEST_F(QuarveldExe, ImagesInFoldersOfAnyScriptAndTheFileDialog) {
    Program program(*session);
    ASSERT_TRUE(program.Started());
    const std::string image = "S00600004844521B\r\nS1061000010203E3\r\nS9030000FC\r\n";
    for (const std::string name : {"Прошивка/образ.MOT", "ファームウェア/書き込み.MOT"}) {
        SCOPED_TRACE(name);
        std::filesystem::create_directories(Path(name.substr(0, name.find('/'))));
        std::ofstream(Path(name), std::ios::binary) << image;
        sim::SimulatedPrinter printer;
        quarveld::wine::ControllingTerminal terminal(printer.devicePath());
        session->MapCom1(printer.devicePath());
        ASSERT_TRUE(Ok({"command", MainWindow, "301"}));
        ASSERT_TRUE(Ok({"wait", "class=#32770;title=Open"}));
        EXPECT_EQ(Drive({"owner", "class=#32770;title=Open"}), "QUARVELD \"Flarnex  Ver1.1.0.1\"");
        ASSERT_TRUE(Ok({"openfile", Path(name)}));
        EXPECT_EQ(FinishWithNotice(EndNotice), Counter(3));
        EXPECT_EQ(printer.framesReceived(), 2u);
    }

    Leave(program, "7");
}

// Scaled displays: every text of the main window's dialogs fits its box at
// 96, 120, 144 and 192 dpi, the Write dialog's counter in its fixed font
// above all.
TEST_F(QuarveldExe, DialogsFitTheirTextsAtEveryDpi) {
    const std::string image = MakeImage("S19", 64, 0);
    for (const int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(dpi);
        session->SetDpi(dpi);
        Program program(*session);
        ASSERT_TRUE(program.Started());
        const std::string suffix = "_" + std::to_string(dpi) + "dpi";
        {
            sim::Behaviour silent;
            silent.silentFromFrame = 1;
            sim::SimulatedPrinter printer(silent);
            quarveld::wine::ControllingTerminal terminal(printer.devicePath());
            session->MapCom1(printer.devicePath());
            StartWrite(image);
            ASSERT_TRUE(printer.waitForFrames(2, 10000));
            ASSERT_TRUE(Ok({"wait", WriteDialog}));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(Drive({"text", WriteDialog, "213"}), Counter(0));
            EXPECT_EQ(Drive({"fits", WriteDialog}), "");
            EXPECT_TRUE(session->Screenshot("write_dialog" + suffix));
            ASSERT_TRUE(Ok({"click", WriteDialog, "3"}));
            ASSERT_TRUE(Ok({"gone", WriteDialog}));
        }
        ASSERT_TRUE(Ok({"command", MainWindow, "302"}));
        ASSERT_TRUE(Ok({"wait", PortDialog}));
        EXPECT_EQ(Drive({"fits", PortDialog}), "");
        EXPECT_TRUE(session->Screenshot("port_dialog" + suffix));
        ASSERT_TRUE(Ok({"click", PortDialog, "2"}));
        ASSERT_TRUE(Ok({"gone", PortDialog}));
        ASSERT_TRUE(Ok({"command", MainWindow, "303"}));
        ASSERT_TRUE(Ok({"wait", ExitDialog}));
        EXPECT_EQ(Drive({"fits", ExitDialog}), "");
        EXPECT_TRUE(session->Screenshot("exit_dialog" + suffix));
        ASSERT_TRUE(Ok({"click", ExitDialog, "7"}));
        EXPECT_TRUE(program.WaitForExit(5000));
    }
    session->SetDpi(96);
}

}  // namespace

int main(int argc, char** argv) { return quarveld::wine::RunAllTestsInSession(argc, argv, session); }
