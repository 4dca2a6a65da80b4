// The Port dialog and the notices, on their own.
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "gui_test_support.hpp"
#include "notice_place.hpp"
#include "notices.hpp"
#include "port_dialog.hpp"

using namespace quarveld;
using testsupport::ModalAnswerer;

namespace {

std::vector<int> EnabledIds(PortDialog& dialog) {
    std::vector<int> ids;
    for (int id = 201; id <= 212; ++id)
        if (dialog.Button(id)->isEnabled()) ids.push_back(id);
    return ids;
}

TEST(PortDialog, ButtonsSitInTheirBoxesInFourExclusiveGroups) {
    PortSettings settings;
    PortDialog dialog(nullptr, settings);
    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(228, 215));  // 152 x 132 dialog units
    for (int id = 201; id <= 212; ++id) {
        QRadioButton* b = dialog.Button(id);
        auto* box = qobject_cast<QGroupBox*>(b->parentWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->rect().contains(b->geometry())) << id;
        EXPECT_GE(b->y(), box->fontMetrics().height()) << id;  // clear of the box's title
        EXPECT_GE(b->width(), b->sizeHint().width()) << id;     // caption not clipped
    }
    testsupport::SaveScreenshot(dialog, "port_dialog");
    dialog.Button(203)->click();
    dialog.Button(206)->click();
    dialog.Button(209)->click();
    std::vector<int> checked;
    for (int id = 201; id <= 212; ++id)
        if (dialog.Button(id)->isChecked()) checked.push_back(id);
    EXPECT_EQ(checked, (std::vector<int>{203, 206, 209, 210}));
}

TEST(PortDialog, Lpt1DisablesTheSerialButtonsAndOkKeepsTheirValues) {
    PortSettings settings{203, 206, 209, 212};
    PortDialog dialog(nullptr, settings);
    // Disabled, but checked as stored.
    EXPECT_EQ(EnabledIds(dialog), (std::vector<int>{210, 211, 212}));
    EXPECT_TRUE(dialog.Button(203)->isChecked() && dialog.Button(206)->isChecked() && dialog.Button(209)->isChecked());
    dialog.Button(210)->click();
    EXPECT_EQ(EnabledIds(dialog).size(), 12u);
    dialog.Button(201)->click();
    dialog.Button(212)->click();
    EXPECT_EQ(EnabledIds(dialog).size(), 3u);
    testsupport::SaveScreenshot(dialog, "port_dialog_lpt1");
    ModalAnswerer answer([](QWidget* modal) {
        modal->findChild<QPushButton*>("OK")->click();
        return true;
    });
    EXPECT_EQ(dialog.exec(), 1);
    EXPECT_EQ(settings, (PortSettings{201, 206, 209, 212}));
}

TEST(PortDialog, TabGoesToTheCheckedButtonOfEachGroup) {
    PortSettings settings{202, 206, 209, 211};
    PortDialog dialog(nullptr, settings);
    std::vector<QString> visited;
    ModalAnswerer answer([&](QWidget* modal) {
        visited.push_back(QApplication::focusWidget()->objectName());
        // Round the dialog, then an arrow key moves the check and the group's stop with it.
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Down,
                            Qt::Key_Backtab}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            visited.push_back(QApplication::focusWidget()->objectName());
        }
        modal->findChild<QPushButton*>("CANCEL")->click();
        return true;
    });
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_EQ(visited, (std::vector<QString>{"202", "206", "209", "211", "OK", "CANCEL", "202", "203", "CANCEL"}));
}

TEST(PortDialog, CancelAndEscapeKeepTheSettings) {
    for (bool escape : {false, true}) {
        PortSettings settings{202, 205, 207, 210};
        PortDialog dialog(nullptr, settings);
        ModalAnswerer answer([escape](QWidget* modal) {
            auto* port = static_cast<PortDialog*>(modal);
            port->Button(204)->click();
            port->Button(208)->click();
            port->Button(211)->click();
            if (escape) QTest::keyClick(modal, Qt::Key_Escape);
            else port->findChild<QPushButton*>("CANCEL")->click();
            return true;
        });
        EXPECT_EQ(dialog.exec(), 2);
        EXPECT_EQ(settings, (PortSettings{202, 205, 207, 210})) << escape;
    }
}

TEST(Notices, StayUntilOk) {
    for (auto kind : {NoticeDialog::Kind::End, NoticeDialog::Kind::Error}) {
        NoticeDialog notice(nullptr, kind);
        EXPECT_TRUE(notice.windowFlags() & Qt::FramelessWindowHint);
        int polls = 0;
        ModalAnswerer answer([&](QWidget* modal) {
            if (++polls < 10) return false;
            QTest::keyClick(modal, Qt::Key_Return);  // Enter is OK
            return true;
        });
        EXPECT_EQ(notice.exec(), 1);
        EXPECT_GE(polls, 10);
    }
}

TEST(Notices, GoBelowTheirWindowAndStayOnTheScreen) {
    const ScreenBox screen{0, 0, 1024, 768};
    const ScreenBox below = NoticePlace({100, 100, 320, 100}, 240, 80, screen);
    EXPECT_EQ(below.left, 140);  // centred
    EXPECT_GE(below.top, 200);   // just below
    EXPECT_LE(below.top, 212);
    // No room below: above; at the screen's left edge: moved onto it.
    const ScreenBox above = NoticePlace({-50, 650, 320, 100}, 240, 80, screen);
    EXPECT_LE(above.top + 80, 650);
    EXPECT_GE(above.top + 80, 638);
    EXPECT_EQ(above.left, 0);
    // A second screen to the right, the window at its right edge.
    const ScreenBox right = NoticePlace({2100, 100, 320, 100}, 240, 80, {1024, 0, 1280, 1024});
    EXPECT_EQ(right.left, 1024 + 1280 - 240);
}

}  // namespace
