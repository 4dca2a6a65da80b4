#pragma once
// Helpers for the writer's GUI tests: answering modal dialogs, saving
// screenshots, a settings folder of the test's own.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testsupport {

// Saves the widget as SCREENSHOT_DIR/<name>.png. Offscreen windows have no
// frame, so a window with a title gets a plain caption bar drawn above it.
inline bool SaveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    QImage client = widget.grab().toImage();
    QImage shot = client;
    if (!(widget.windowFlags() & Qt::FramelessWindowHint) && widget.isWindow()) {
        const int bar = 20;
        shot = QImage(client.width() + 2, client.height() + bar + 1, QImage::Format_ARGB32);
        shot.fill(QColor(0x40, 0x40, 0x40));
        QPainter p(&shot);
        p.fillRect(QRect(1, 1, client.width(), bar - 1), QColor(0x00, 0x30, 0x80));
        p.setPen(Qt::white);
        QFont f = widget.font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(6, 1, client.width() - 6, bar - 1), Qt::AlignVCenter | Qt::AlignLeft, widget.windowTitle());
        p.drawImage(1, bar, client);
    }
    return shot.save(QStringLiteral(SCREENSHOT_DIR) + "/" + name + ".png");
}

// Several windows in one picture, each where it stands on the screen, the
// later ones over the earlier.
inline bool SaveScreenshotAsPlaced(const std::vector<QWidget*>& windows, const QString& name) {
    QRect all;
    for (QWidget* w : windows) all |= w->frameGeometry();
    QImage shot(all.size(), QImage::Format_ARGB32);
    shot.fill(QColor(0x20, 0x20, 0x20));
    QPainter p(&shot);
    for (QWidget* w : windows) p.drawImage(w->geometry().topLeft() - all.topLeft(), w->grab().toImage());
    p.end();
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    return shot.save(QStringLiteral(SCREENSHOT_DIR) + "/" + name + ".png");
}

// Calls `answer` with the active modal widget every 10 ms while it returns
// false; once it returns true for one, it waits for the next one to appear.
// Keep the object alive while the modals run.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<bool(QWidget*)> answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal == handled_) return;
            // Answer a dialog only once it has been up for a moment, so that
            // its own loop runs and its focus has settled.
            if (modal != seen_) {
                seen_ = modal;
                since_.start();
                return;
            }
            if (since_.elapsed() < 30) return;
            if (answer_(modal)) handled_ = modal;
        });
        timer_.start(10);
    }

private:
    std::function<bool(QWidget*)> answer_;
    // Guarded: a new dialog may be created at the address of one that is gone.
    QPointer<QWidget> handled_;
    QPointer<QWidget> seen_;
    QElapsedTimer since_;
    QTimer timer_;
};

// Processes events until `done` holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// XDG_CONFIG_HOME points at a fresh folder for the test's life, and
// XDG_DATA_HOME at its "data" folder.
class SettingsFolder {
public:
    SettingsFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quarveld-gui-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "no temporary folder";
        path = pattern;
        Set(0, "XDG_CONFIG_HOME", path.string());
        Set(1, "XDG_DATA_HOME", (path / "data").string());
    }
    ~SettingsFolder() {
        for (int i = 0; i < 2; ++i) {
            if (hadOld_[i]) ::setenv(names_[i], oldValue_[i].c_str(), 1);
            else ::unsetenv(names_[i]);
        }
        std::filesystem::remove_all(path);
    }
    std::string Ini() const { return (path / "TORWIN.INI").string(); }
    std::filesystem::path path;

private:
    void Set(int i, const char* name, const std::string& value) {
        names_[i] = name;
        const char* old = std::getenv(name);
        if (old != nullptr) oldValue_[i] = old, hadOld_[i] = true;
        ::setenv(name, value.c_str(), 1);
    }
    const char* names_[2] = {};
    std::string oldValue_[2];
    bool hadOld_[2] = {};
};

}  // namespace testsupport

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
