// The printer link without a window: its stored choices in the files the
// earlier Qt builds wrote, the preselection, and the delivery hooks.
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "vexlo_delivery.hpp"
#include "vexlo_link.hpp"

namespace {

using kelvane::LinkDestination;
using kelvane::LinkError;
using kelvane::VexloLink;
using kelvane::vexlo::SpoolerQueues;
using Kind = LinkDestination::Kind;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The group the Qt control used for a name.
QString QtGroup(const std::string& name) {
    if (name.empty()) return QStringLiteral("%");
    return QString::fromLatin1(QByteArray::fromStdString(name).toPercentEncoding());
}

struct Stored {
    std::string name, use, printer, device;
};

TEST(VexloLinkSettings, ReadsAndWritesTheFilesOfTheQtControl) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = (dir.path() + "/VexloComm.ini").toStdString();
    // Names and values that need every kind of escaping the file has.
    const std::vector<Stored> byQt = {
        {"MySettings", "device", "Office", "/dev/usb/lp0"},
        {"a/b", "printer", "B\xC3\xBCro 2", "/tmp/x;y,z=1"},
        {"", "none", "", " lead and trail "},
        {"General", "device", "q", "C:\\path\\\"quoted\""},
        {"x y%z", "printer", "@at", "tab\there"},
    };
    {
        QSettings qt(QString::fromStdString(path), QSettings::IniFormat);
        for (const auto& s : byQt) {
            qt.beginGroup(QtGroup(s.name));
            qt.setValue("Use", QString::fromStdString(s.use));
            qt.setValue("Printer", QString::fromStdString(s.printer));
            qt.setValue("Device", QString::fromStdString(s.device));
            qt.endGroup();
        }
    }
    VexloLink link(path);
    for (const auto& s : byQt) {
        SCOPED_TRACE(s.name);
        link.setDestination({Kind::Spooler, "before"});
        link.LoadSettings(s.name);
        EXPECT_EQ(link.device(), s.device);
        if (!s.printer.empty()) {
            EXPECT_EQ(link.printer(), s.printer);
        }
        const Kind kind = s.use == "printer" ? Kind::Spooler : s.use == "device" ? Kind::Device : Kind::None;
        EXPECT_EQ(link.destination().kind, kind);
    }

    // Written back by the link: the Qt control reads it, and keeps its own groups.
    link.setDestination({Kind::Device, "/dev/ttyUSB1;2"});
    link.SaveSettings("vorpen");
    link.setDestination({Kind::Spooler, "B\xC3\xBCro 2"});
    link.SaveSettings("a/b");
    QSettings qt(QString::fromStdString(path), QSettings::IniFormat);
    EXPECT_EQ(qt.value(QtGroup("vorpen") + "/Use").toString(), "device");
    EXPECT_EQ(qt.value(QtGroup("vorpen") + "/Device").toString(), "/dev/ttyUSB1;2");
    EXPECT_EQ(qt.value(QtGroup("a/b") + "/Use").toString(), "printer");
    EXPECT_EQ(qt.value(QtGroup("a/b") + "/Printer").toString(), QString::fromUtf8("B\xC3\xBCro 2"));
    EXPECT_EQ(qt.value(QtGroup("General") + "/Device").toString(), "C:\\path\\\"quoted\"");
    EXPECT_EQ(qt.value(QtGroup("x y%z") + "/Device").toString(), "tab\there");
    EXPECT_EQ(qt.value(QtGroup("x y%z") + "/Printer").toString(), "@at");
    EXPECT_EQ(qt.childGroups().size(), 6);
}

TEST(VexloLinkSettings, AFileThatCannotBeWrittenIsReportedAndKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = (dir.path() + "/VexloComm.ini").toStdString();
    { std::ofstream(path) << "; kept\n[Other]\nUse=device\n"; }
    // A folder stands where the settings folder should be.
    VexloLink blocked((dir.path() + "/VexloComm.ini/sub/VexloComm.ini").toStdString());
    blocked.setDestination({Kind::Device, "/dev/lp0"});
    try {
        blocked.SaveSettings("MySettings");
        FAIL() << "saved into a file";
    } catch (const LinkError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot save the printer settings"), std::string::npos);
    }
    VexloLink link(path);
    link.setDestination({Kind::Device, "/dev/lp0"});
    link.SaveSettings("MySettings");
    EXPECT_EQ(ReadAll(path), "; kept\n[Other]\nUse=device\n\n[MySettings]\nDevice=/dev/lp0\nPrinter=\nUse=device\n");
}

// --- what a job goes to when nobody chose --------------------------------

SpoolerQueues Queues(std::vector<std::string> names, bool hasDefault) {
    SpoolerQueues q;
    q.names = std::move(names);
    q.hasDefault = hasDefault;
    return q;
}

TEST(VexloLinkPreselection, DefaultQueueElseTheOnlyQueueElseNothing) {
    struct Case {
        SpoolerQueues queues;
        LinkDestination expected;
    };
    const std::vector<Case> cases = {
        {Queues({"Main", "Annex"}, true), {Kind::Spooler, "Main"}},
        {Queues({"Annex"}, false), {Kind::Spooler, "Annex"}},
        {Queues({"Annex", "Main"}, false), {}},
        {Queues({}, false), {}},
    };
    for (const auto& c : cases) {
        VexloLink link("/nonexistent/VexloComm.ini");
        link.setQueues(c.queues);
        EXPECT_EQ(link.destination(), c.expected) << c.queues.names.size();
        EXPECT_FALSE(link.chosen());
    }

    // With nothing chosen a job goes nowhere and says where to choose.
    VexloLink link("/nonexistent/VexloComm.ini");
    link.setQueues(Queues({"Annex", "Main"}, false));
    EXPECT_EQ(link.printer(), "Annex") << "the entry shows a queue without using it";
    link.StartJob();
    link.AddCommand("\x1b");
    try {
        link.EndJob();
        FAIL() << "a job without a destination was taken";
    } catch (const LinkError& e) {
        EXPECT_NE(std::string(e.what()).find("Settings"), std::string::npos) << e.what();
    }
}

TEST(VexloLinkPreselection, AChoiceOutlivesNewListsAndAStoredNoneDoesNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = (dir.path() + "/VexloComm.ini").toStdString();
    {
        VexloLink first(path);
        first.setDestination({Kind::Device, "/dev/ttyS0"});
        first.SaveSettings("serial");
        first.setDestination({});
        first.SaveSettings("nothing");
    }
    VexloLink link(path);
    link.LoadSettings("serial");  // before the spooler answered
    link.setQueues(Queues({"Main"}, true));
    EXPECT_EQ(link.destination(), (LinkDestination{Kind::Device, "/dev/ttyS0"}));

    link.LoadSettings("nothing");
    EXPECT_EQ(link.destination(), (LinkDestination{Kind::Spooler, "Main"}));
    link.setQueues(Queues({"Other"}, false));
    EXPECT_EQ(link.destination(), (LinkDestination{Kind::Spooler, "Other"}));
    link.setDestination({Kind::Spooler, "Main"});
    link.setQueues(Queues({"Other"}, true));
    EXPECT_EQ(link.destination(), (LinkDestination{Kind::Spooler, "Main"}));
}

// Both windows' links load and save "MySettings": they are one printer. The
// user's last choice is what is stored, whichever link saves last, and a
// preselected queue is never stored as if chosen.
TEST(VexloLinkSettings, LinksOfOneNameShareTheUsersChoiceAndStoreOnlyIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = (dir.path() + "/VexloComm.ini").toStdString();
    VexloLink simple(path), advanced(path);
    for (VexloLink* link : {&simple, &advanced}) {
        link->LoadSettings("MySettings");
        link->setQueues(Queues({"Main", "Annex"}, true));
        link->SaveSettings("MySettings");
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path))) << ReadAll(path);

    advanced.choose(Kind::Device, "Main", "/dev/usb/lp1");
    EXPECT_EQ(simple.destination(), (LinkDestination{Kind::Device, "/dev/usb/lp1"})) << "shown at once";
    advanced.SaveSettings("MySettings");
    simple.SaveSettings("MySettings");  // the unchanged one, last
    EXPECT_EQ(ReadAll(path), "[MySettings]\nDevice=/dev/usb/lp1\nPrinter=\nUse=device\n");

    // A link that loads the name later takes the choice made since.
    simple.choose(Kind::Spooler, "Annex", "/dev/usb/lp1");
    VexloLink late(path);
    late.LoadSettings("MySettings");
    EXPECT_EQ(late.destination(), (LinkDestination{Kind::Spooler, "Annex"}));
}

// A pipe in the settings file's place is never waited on: the link goes on
// without it and says so. A byte-order mark is read past and kept.
TEST(VexloLinkSettings, APipeIsNotWaitedOnAndAByteOrderMarkIsKept) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = (dir.path() + "/VexloComm.ini").toStdString();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(10);  // a read that waits for a writer ends here
            try {
                VexloLink(path).LoadSettings("MySettings");
            } catch (const LinkError& e) {
                std::fprintf(stderr, "%s", e.what());
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "VexloComm.ini: it is a pipe, not a file");

    std::remove(path.c_str());
    { std::ofstream(path, std::ios::binary) << "\xEF\xBB\xBF[MySettings]\r\nDevice=/dev/ttyUSB0\r\nUse=device\r\n"; }
    VexloLink stored(path);
    stored.LoadSettings("MySettings");
    EXPECT_EQ(stored.destination(), (LinkDestination{Kind::Device, "/dev/ttyUSB0"}));
    stored.choose(Kind::Device, "", "/dev/ttyUSB1");
    stored.SaveSettings("MySettings");
    EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF[MySettings]\nDevice=/dev/ttyUSB1\nUse=device\nPrinter=\n");
}

TEST(VexloLinkDelivery, DeviceJobsRunThroughTheWaiterAndKeepTheirFailure) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string out = (dir.path() + "/printer.bin").toStdString();
    VexloLink link("/nonexistent/VexloComm.ini");
    int waits = 0;
    link.setWaiter([&](const std::function<void()>& work) {
        ++waits;
        std::thread(work).join();
    });
    link.setDestination({Kind::Device, out});
    link.StartJob();
    link.AddCommand(std::string("\x1b\x1d\x23\x54\x30\x30\x30\x30\x30\x0a\x00", 11));
    link.EndJob();
    EXPECT_EQ(ReadAll(out), std::string("\x1b\x1d\x23\x54\x30\x30\x30\x30\x30\x0a\x00", 11));

    link.setDestination({Kind::Device, "/dev/usb/lp97"});
    link.StartJob();
    try {
        link.EndJob();
        ADD_FAILURE() << "a missing device took the job";
    } catch (const LinkError& e) {
        // The windows' words; a tool words the remedy its own way.
        EXPECT_EQ(std::string(e.what()), e.reason() + " Press the refresh button to list the devices present.");
    }
    EXPECT_EQ(waits, 2);
}

// The spooler's library is not part of a start: it is loaded by the first
// use of the spooler, and works as linked. Run in a fresh process, since any
// earlier test may have loaded it.
TEST(VexloSpoolerLibrary, IsLoadedByTheFirstUseOfTheSpooler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool before = dlopen("libcups.so.2", RTLD_NOW | RTLD_NOLOAD) != nullptr;
            setenv("CUPS_SERVER", "/nonexistent/cups.sock", 1);
            const SpoolerQueues queues = kelvane::vexlo::SpoolerQueueLister()();
            const bool after = dlopen("libcups.so.2", RTLD_NOW | RTLD_NOLOAD) != nullptr;
            std::fprintf(stderr, "loaded before %d after %d: %s\n", before, after, queues.error.c_str());
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "loaded before 0 after 1: The print spooler is not reachable \\(server /nonexistent/cups.sock: "
        "No such file or directory\\)");
}

}  // namespace
