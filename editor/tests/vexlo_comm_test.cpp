// The printer-link control against real parts: a private spooler, a
// pseudo-terminal, files, and a user without rights.
#include <QComboBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTemporaryDir>
#include <QToolButton>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cups/cups.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <csignal>
#include <random>
#include <thread>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "gui_test_support.hpp"
#include "vexlo_comm.hpp"
#include "vexlo_cupsd.hpp"
#include "vexlo_delivery.hpp"

namespace {

using kelvane::LinkDestination;
using kelvane::LinkError;
using kelvane::VexloComm;
using vexlotest::ReadAll;
namespace fs = std::filesystem;

std::string Bytes(std::initializer_list<unsigned char> b) {
    return std::string(b.begin(), b.end());
}

// Set switch 3 to 0005, then the closing command.
const std::string SetCommand = Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00});
const std::string Closing = Bytes({0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00});
const std::string ClearAll = Bytes({0x1B, 0x1D, 0x23, 0x40, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00});

void SendJob(VexloComm& link, const std::vector<std::string>& commands) {
    link.StartJob();
    for (const auto& c : commands) link.AddCommand(c);
    link.EndJob();
}

// The control reads the spooler's queues in the background.
bool WaitForQueues(VexloComm& link) {
    for (int i = 0; i < 500 && !link.queuesListed(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return link.queuesListed();
}

std::string LinkErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const LinkError& e) {
        return e.what();
    }
    return "(no LinkError)";
}

// Runs `body` in a forked child and returns what it wrote to the pipe; for
// things that must not touch this process: dropped rights, file size limits.
std::string InChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return "(no pipe)";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string out = body();
        (void)!write(fds[1], out.data(), out.size());
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return out;
}

// Every test gets its own settings folder, never the user's.
class VexloCommTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        qputenv("XDG_CONFIG_HOME", (tmp.path() + "/config").toLocal8Bit());
    }
    std::string Path(const char* name) const { return (tmp.path() + "/" + name).toStdString(); }

    QTemporaryDir tmp;
};

// --- devices and files -----------------------------------------------------

// A pseudo-terminal whose line end is held open, so that closing the link's
// end does not hang up the line.
struct Terminal {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave;
    int keep = -1;
    Terminal() {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
            slave = ptsname(master);
            keep = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        }
    }
    ~Terminal() {
        if (keep >= 0) ::close(keep);
        if (master >= 0) ::close(master);
    }
    bool open() const { return keep >= 0; }
};

TEST_F(VexloCommTest, PseudoTerminalReceivesTheJobUnchanged) {
    const Terminal line;
    ASSERT_TRUE(line.open());
    const int master = line.master;
    const std::string& slave = line.slave;

    VexloComm link;
    link.setDestination({LinkDestination::Kind::Device, slave});
    SendJob(link, {SetCommand, Closing});

    std::string got;
    pollfd p{master, POLLIN, 0};
    while (got.size() < 22 && poll(&p, 1, 2000) > 0) {
        char buf[64];
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    // The line's default output processing would have made 0A into 0D 0A.
    EXPECT_EQ(got, Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00,
                          0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}));
}

// A printer that reads slowly: the window keeps running its timers (and so
// its painting) under a busy cursor while the job goes out.
TEST_F(VexloCommTest, TheWindowKeepsRunningWhileADeviceTakesItsTime) {
    const Terminal line;
    ASSERT_TRUE(line.open());
    fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
    const std::string job(1 << 20, '\x1b');

    VexloComm link;
    link.setDestination({LinkDestination::Kind::Device, line.slave});
    bool delivering = false;
    int ticksDuring = 0;
    bool busyCursor = true;
    size_t got = 0;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        if (delivering) {
            ++ticksDuring;
            busyCursor = busyCursor && QApplication::overrideCursor() &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        }
        char buf[4096];
        ssize_t n;
        while ((n = read(line.master, buf, sizeof buf)) > 0) got += static_cast<size_t>(n);
    });
    reader.start(5);
    delivering = true;
    SendJob(link, {job});
    delivering = false;
    for (int i = 0; i < 100 && got < job.size(); ++i) QTest::qWait(10);

    EXPECT_EQ(got, job.size());
    EXPECT_GT(ticksDuring, 0);
    EXPECT_TRUE(busyCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(VexloCommTest, EachJobIsDeliveredWholeOrNotAtAll) {
    VexloComm link;
    const std::string out = Path("out.bin");
    link.setDestination({LinkDestination::Kind::Device, out});

    link.StartJob();
    link.AddCommand(SetCommand);
    EXPECT_FALSE(fs::exists(out)) << "nothing may leave before EndJob";
    link.StartJob();  // drops the unfinished job
    link.AddCommand(ClearAll);
    link.AddCommand(Closing);
    link.EndJob();
    SendJob(link, {Closing});
    // A file stands for a printer: it receives every job, in order.
    EXPECT_EQ(ReadAll(out), ClearAll + Closing + Closing);

    EXPECT_NE(LinkErrorOf([&] { link.EndJob(); }).find("never started"), std::string::npos);
    EXPECT_NE(LinkErrorOf([&] { link.AddCommand(Closing); }).find("no print job"), std::string::npos);
    EXPECT_EQ(ReadAll(out).size(), 33u);

    link.setDestination({});
    EXPECT_EQ(LinkErrorOf([&] { SendJob(link, {Closing}); }),
              "No printer or device is chosen in the Settings box.");
}

TEST_F(VexloCommTest, DeviceFailuresNameTheDeviceAndTheReason) {
    VexloComm link;
    // A printer that is not there must not become a file under /dev.
    link.setDestination({LinkDestination::Kind::Device, "/dev/usb/lp97"});
    std::string msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("Cannot open /dev/usb/lp97: No such file or directory"), std::string::npos) << msg;
    EXPECT_FALSE(fs::exists("/dev/usb/lp97"));

    link.setDestination({LinkDestination::Kind::Device, "/dev/full"});
    msg = LinkErrorOf([&] { SendJob(link, {SetCommand, Closing}); });
    EXPECT_NE(msg.find("Only 0 of 22 bytes reached /dev/full"), std::string::npos) << msg;

    // A device that stops taking bytes: a terminal nobody reads.
    const Terminal line;
    ASSERT_TRUE(line.open());
    const std::string& slave = line.slave;
    msg = LinkErrorOf([&] {
        kelvane::vexlo::WriteToDevice(slave, std::string(4 << 20, 'x'), std::chrono::milliseconds(200));
    });
    EXPECT_NE(msg.find("of 4194304 bytes reached " + slave), std::string::npos) << msg;
    EXPECT_EQ(msg.find("Only 4194304"), std::string::npos) << msg;
}

TEST_F(VexloCommTest, PermissionDeniedNamesTheGroupThatGivesAccess) {
    if (geteuid() != 0) {
        if (std::getenv("CI")) FAIL() << "CI runs as root; this test needs it";
        GTEST_SKIP() << "needs root to become another user";
    }
    const group* lp = getgrnam("lp");
    ASSERT_NE(lp, nullptr);
    // A device node stand-in owned by root:lp, as printer devices are.
    const std::string dev = Path("lp0");
    { std::ofstream(dev) << ""; }
    ASSERT_EQ(chown(dev.c_str(), 0, lp->gr_gid), 0);
    ASSERT_EQ(chmod(dev.c_str(), 0660), 0);
    chmod(tmp.path().toLocal8Bit().constData(), 0755);

    const std::string msg = InChild([&] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return std::string("setuid");
        try {
            kelvane::vexlo::WriteToDevice(dev, Closing);
        } catch (const LinkError& e) {
            return std::string(e.what());
        }
        return std::string("(written)");
    });
    EXPECT_NE(msg.find("Cannot open " + dev + ": Permission denied"), std::string::npos) << msg;
    EXPECT_NE(msg.find("group \"lp\""), std::string::npos) << msg;
    EXPECT_EQ(ReadAll(dev), "");
}

TEST_F(VexloCommTest, OutputFileHoldsExactlyTheJobAndReplacesTheOldOne) {
    VexloComm link;
    const std::string device = Path("printer.bin");
    link.setDestination({LinkDestination::Kind::Device, device});
    const std::string prn = Path("switches.prn");
    { std::ofstream(prn) << "an older and much longer settings file than the job"; }

    link.setOutputToFile(true);
    link.setOutputMode(4);
    link.setOutputFileName(prn);
    SendJob(link, {SetCommand, Closing});
    link.setOutputToFile(false);
    link.setOutputMode(0);

    EXPECT_EQ(ReadAll(prn), Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00,
                                   0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}));
    EXPECT_FALSE(fs::exists(device)) << "the save job must not reach the printer";
    EXPECT_EQ(link.outputMode(), 0);
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path().toStdString()), fs::directory_iterator{}), 1);

    // After the save, jobs go to the printer again.
    SendJob(link, {Closing});
    EXPECT_EQ(ReadAll(device), Closing);
}

TEST_F(VexloCommTest, FailedSaveLeavesTheOldFileAsItWas) {
    const std::string prn = Path("keep.prn");
    const std::string old = "old settings that must survive";
    { std::ofstream(prn) << old; }

    // The disk fills up half way through the job.
    std::string msg = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{8, 8};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            kelvane::vexlo::ReplaceFile(prn, SetCommand + Closing);
        } catch (const LinkError& e) {
            return std::string(e.what());
        }
        return std::string("(written)");
    });
    EXPECT_NE(msg.find("Cannot write the file " + prn), std::string::npos) << msg;
    EXPECT_EQ(ReadAll(prn), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path().toStdString()), fs::directory_iterator{}), 1);

    // A folder that cannot be written, and a name that is a folder.
    VexloComm link;
    link.setOutputToFile(true);
    link.setOutputFileName(Path("missing/x.prn"));
    msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("missing/x.prn"), std::string::npos) << msg;
    link.setOutputFileName(tmp.path().toStdString());
    msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("not a regular file"), std::string::npos) << msg;
    EXPECT_TRUE(fs::is_directory(tmp.path().toStdString()));
    link.setOutputFileName("");
    EXPECT_NE(LinkErrorOf([&] { SendJob(link, {Closing}); }), "(no LinkError)");
}

// Saves killed half way leave at most their one temporary file, and the next
// save takes it over: after a clean save nothing of ours is left beside the file.
TEST_F(VexloCommTest, KilledSavesLeaveNothingBehindOnceASaveEnds) {
    const std::string prn = Path("customer.prn");
    const std::string big(256 * 1024, '\x1b');
    std::mt19937 rng(18);
    for (int kill = 0; kill < 40; ++kill) {
        const pid_t pid = fork();
        if (pid == 0) {
            try {
                for (;;) kelvane::vexlo::ReplaceFile(prn, big);
            } catch (...) {
                _exit(1);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 4000));
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saves failed";
    }
    kelvane::vexlo::ReplaceFile(prn, Closing);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(tmp.path().toStdString())) left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{prn});
    EXPECT_EQ(ReadAll(prn), Closing);
}

// A file the user may not write stays as it is, and the save says so; for
// root, a file without any write permission.
TEST_F(VexloCommTest, AWriteProtectedFileIsLeftAsItIs) {
    const std::string prn = Path("customer.prn");
    { std::ofstream(prn) << "kept"; }
    ASSERT_EQ(chmod(prn.c_str(), 0444), 0);
    std::string msg = LinkErrorOf([&] { kelvane::vexlo::ReplaceFile(prn, Closing); });
    EXPECT_NE(msg.find("Cannot write the file " + prn + ": it is write-protected."), std::string::npos) << msg;
    if (geteuid() == 0) {
        // Not the owner's, in a folder everyone may write.
        ASSERT_EQ(chmod(prn.c_str(), 0644), 0);
        ASSERT_EQ(chmod(tmp.path().toLocal8Bit().constData(), 0777), 0);
        msg = InChild([&] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return std::string("setuid");
            return LinkErrorOf([&] { kelvane::vexlo::ReplaceFile(prn, Closing); });
        });
        EXPECT_NE(msg.find("write-protected"), std::string::npos) << msg;
    }
    EXPECT_EQ(ReadAll(prn), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path().toStdString()), fs::directory_iterator{}), 1);
}

// --- settings per name -----------------------------------------------------

TEST_F(VexloCommTest, SettingsPerNameReachASecondInstance) {
    {
        VexloComm first;
        first.setDestination({LinkDestination::Kind::Device, "/dev/ttyUSB3"});
        first.SaveSettings("MySettings");
        first.setDestination({LinkDestination::Kind::Spooler, "Office"});
        first.SaveSettings("vorpen");
        // Names that a careless encoding would mix up or nest.
        first.setDestination({LinkDestination::Kind::Device, "/tmp/slash"});
        first.SaveSettings("a/b");
        first.setDestination({LinkDestination::Kind::Device, "/tmp/percent"});
        first.SaveSettings("a%2Fb");
        first.setDestination({});
        first.SaveSettings("");
    }
    EXPECT_TRUE(fs::exists(VexloComm::settingsPath().toStdString()));

    VexloComm second;
    second.setDestination({LinkDestination::Kind::Device, "/dev/lp0"});
    second.LoadSettings("never saved");
    EXPECT_EQ(second.destination(), (LinkDestination{LinkDestination::Kind::Device, "/dev/lp0"}));
    second.LoadSettings("MySettings");
    EXPECT_EQ(second.destination(), (LinkDestination{LinkDestination::Kind::Device, "/dev/ttyUSB3"}));
    // A queue the spooler does not list is still shown and kept.
    second.LoadSettings("vorpen");
    EXPECT_EQ(second.destination(), (LinkDestination{LinkDestination::Kind::Spooler, "Office"}));
    EXPECT_EQ(second.findChild<QComboBox*>("cboPrinter")->currentText(), "Office");
    second.LoadSettings("a/b");
    EXPECT_EQ(second.destination().name, "/tmp/slash");
    second.LoadSettings("a%2Fb");
    EXPECT_EQ(second.destination().name, "/tmp/percent");
    second.LoadSettings("");
    EXPECT_EQ(second.destination().kind, LinkDestination::Kind::None);

    // Settings that cannot be written are a failure, not a silent loss.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(VexloComm::settingsPath().toStdString()));
    second.setDestination({LinkDestination::Kind::Device, "/dev/lp0"});
    const std::string msg = LinkErrorOf([&] { second.SaveSettings("MySettings"); });
    EXPECT_NE(msg.find("Cannot save the printer settings"), std::string::npos) << msg;
}

// --- the spooler -----------------------------------------------------------

class VexloSpoolerTest : public VexloCommTest {
protected:
    void SetUp() override {
        VexloCommTest::SetUp();
        std::string why;
        if (!cupsd.Start(&why)) {
            // CI has everything it needs: a spooler that does not start is a failure there.
            if (std::getenv("CI")) FAIL() << "private cupsd did not start: " << why;
            GTEST_SKIP() << "private cupsd did not start: " << why;
        }
        ASSERT_TRUE(cupsd.AddQueue("vexlo_test", true)) << ReadAll(cupsd.dir() / "log/lpadmin.out");
        ASSERT_TRUE(cupsd.AddQueue("another", false)) << ReadAll(cupsd.dir() / "log/lpadmin.out");
        cupsSetServer(cupsd.socket().c_str());
    }
    void TearDown() override { cupsSetServer(nullptr); }

    vexlotest::PrivateCupsd cupsd;
};

TEST_F(VexloSpoolerTest, JobsArriveOnceAndByteForByte) {
    VexloComm link;  // a new control picks the spooler's default queue
    ASSERT_TRUE(WaitForQueues(link));
    auto* printers = link.findChild<QComboBox*>("cboPrinter");
    ASSERT_EQ(printers->count(), 2);
    EXPECT_EQ(printers->itemText(0), "vexlo_test");
    EXPECT_EQ(printers->itemText(1), "another");
    EXPECT_EQ(link.destination(), (LinkDestination{LinkDestination::Kind::Spooler, "vexlo_test"}));

    SendJob(link, {SetCommand, Closing});
    ASSERT_EQ(cupsd.WaitForJobs("vexlo_test", 1), 1u) << cupsd.ErrorLog();
    EXPECT_EQ(ReadAll(cupsd.Jobs("vexlo_test")[0]),
              Bytes({0x1B, 0x1D, 0x23, 0x2C, 0x33, 0x30, 0x30, 0x30, 0x35, 0x0A, 0x00,
                     0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}));

    SendJob(link, {ClearAll, Closing});
    ASSERT_EQ(cupsd.WaitForJobs("vexlo_test", 2), 2u) << cupsd.ErrorLog();
    EXPECT_EQ(ReadAll(cupsd.Jobs("vexlo_test")[1]),
              Bytes({0x1B, 0x1D, 0x23, 0x40, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00,
                     0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}));
    // Nothing more turns up later, and nothing went to the other queue.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(cupsd.Jobs("vexlo_test").size(), 2u);
    EXPECT_TRUE(cupsd.Jobs("another").empty());
}

// The devices and the queues are read in the background: by a control once
// it has been drawn, and by one that is never shown all the same.
TEST_F(VexloSpoolerTest, DevicesAndQueuesArriveWhetherOrNotTheControlIsDrawn) {
    const std::vector<std::string> devices = kelvane::vexlo::ListDevices();
    for (const bool drawn : {true, false}) {
        VexloComm link;
        if (drawn) {
            link.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));
        }
        ASSERT_TRUE(WaitForQueues(link)) << drawn;
        EXPECT_EQ(link.findChild<QComboBox*>("cboPrinter")->count(), 2) << drawn;
        const auto* box = link.findChild<QComboBox*>("cboDevice");
        ASSERT_EQ(box->count(), static_cast<int>(devices.size())) << drawn;
        for (size_t i = 0; i < devices.size(); ++i) {
            EXPECT_EQ(box->itemText(static_cast<int>(i)).toStdString(), devices[i]) << drawn;
        }
    }
}

TEST_F(VexloSpoolerTest, APausedQueueTakesTheJobAndSaysSo) {
    const std::string log = (cupsd.dir() / "log/lpadmin.out").string();
    ASSERT_EQ(vexlotest::Run({"cupsdisable", "-h", cupsd.socket(), "another"}, log), 0);
    VexloComm link;
    QSignalSpy noticed(&link, &VexloComm::noticed);
    link.setDestination({LinkDestination::Kind::Spooler, "another"});
    SendJob(link, {Closing});
    ASSERT_EQ(noticed.size(), 1);
    EXPECT_EQ(noticed[0][0].toString(),
              "Printer queue \"another\" is paused: the job waits there until the queue is resumed.");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(cupsd.Jobs("another").empty());

    // Resumed, the queue prints the held job; a running queue has nothing to say.
    ASSERT_EQ(vexlotest::Run({"cupsenable", "-h", cupsd.socket(), "another"}, log), 0);
    ASSERT_EQ(cupsd.WaitForJobs("another", 1), 1u) << cupsd.ErrorLog();
    EXPECT_EQ(ReadAll(cupsd.Jobs("another")[0]), Bytes({0x1B, 0x1D, 0x23, 0x54, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0A, 0x00}));
    SendJob(link, {Closing});
    EXPECT_EQ(noticed.size(), 1);
}

TEST_F(VexloSpoolerTest, QueueAndSpoolerFailuresAreClear) {
    VexloComm link;
    link.setDestination({LinkDestination::Kind::Spooler, "no_such_queue"});
    std::string msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("Printer queue \"no_such_queue\" does not exist"), std::string::npos) << msg;

    ASSERT_EQ(vexlotest::Run({"cupsreject", "-h", cupsd.socket(), "-r", "paper jam", "another"},
                             (cupsd.dir() / "log/lpadmin.out").string()),
              0);
    link.setDestination({LinkDestination::Kind::Spooler, "another"});
    msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("Printer queue \"another\" refused the job: "), std::string::npos) << msg;

    cupsd.Stop();
    link.setDestination({LinkDestination::Kind::Spooler, "vexlo_test"});
    msg = LinkErrorOf([&] { SendJob(link, {Closing}); });
    EXPECT_NE(msg.find("The print spooler is not reachable (server " + cupsd.socket()), std::string::npos)
        << msg;
    EXPECT_TRUE(cupsd.Jobs("vexlo_test").empty());

    // Reading the lists again keeps the user's choice and says what is wrong.
    link.refresh();
    EXPECT_EQ(link.destination(), (LinkDestination{LinkDestination::Kind::Spooler, "vexlo_test"}));
    EXPECT_NE(link.findChild<QComboBox*>("cboPrinter")->toolTip().indexOf("not reachable"), -1);
}

TEST_F(VexloSpoolerTest, ControlFitsItsPlaceInTheSettingsFrame) {
    QWidget window;
    window.setFixedSize(340, 150);
    auto* frame = new QGroupBox("Settings", &window);
    frame->setGeometry(8, 8, 4695 / 15, 1935 / 15);
    auto* link = new VexloComm(frame);
    link->setObjectName("VexloComm1");
    link->setGeometry((600 - 120) / 15, (3840 - 3600) / 15, 3825 / 15, 1560 / 15);
    link->setShowSpooler(true);
    link->setShowFile(true);
    ASSERT_TRUE(WaitForQueues(*link));
    window.show();
    QApplication::processEvents();

    EXPECT_EQ(link->size(), QSize(255, 104));
    EXPECT_EQ(link->nextJobText(), "Next job: printer \"vexlo_test\"");
    for (QWidget* child : link->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible()) continue;
        EXPECT_TRUE(link->rect().contains(child->geometry())) << child->objectName().toStdString();
        EXPECT_GE(child->height(), child->minimumSizeHint().height()) << child->objectName().toStdString();
        if (qobject_cast<QRadioButton*>(child)) {
            EXPECT_GE(child->width(), child->sizeHint().width()) << child->objectName().toStdString();
        }
    }
    EXPECT_TRUE(testsupport::SaveScreenshot(window, "vexlo_comm"));
}

}  // namespace
