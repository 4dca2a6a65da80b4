#pragma once
// Shared by the window tests: a private settings folder, a file standing in
// for the printer, literal hex, and answering one kind of modal dialog.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <ostream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "gui_test_support.hpp"

// Readable failure output.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace windowtest {

// The names of the controls that Tab visits, starting at `first`; parts of a
// control (the edit field of a selector) are left out.
inline QStringList TabOrder(QWidget* first, int count) {
    QStringList names;
    QWidget* w = first;
    while (names.size() < count) {
        names << w->objectName();
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(first->window()) ||
                 w->objectName().isEmpty());
    }
    return names;
}

// "1B 1D 23" -> the three bytes.
inline std::string Hex(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
        i += 2;
    }
    return bytes;
}

inline std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

// Answers the first modal dialog of type T that comes up; other modals are
// left to their own answerers. Keep the timer alive while the modal runs.
template <class T>
std::unique_ptr<QTimer> AnswerModal(std::function<void(T*)> answer) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(20);
    QTimer* raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, [raw, answer]() {
        if (auto* modal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            raw->stop();
            answer(modal);
        }
    });
    timer->start();
    return timer;
}

// What a message box showed, filled in by AnswerMessage.
struct Message {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Notes the next message box, saves its screenshot under `shot` (if given)
// and presses `press`.
inline std::unique_ptr<QTimer> AnswerMessage(Message& seen, QMessageBox::StandardButton press,
                                             const QString& shot = {}) {
    return AnswerModal<QMessageBox>([&seen, press, shot](QMessageBox* box) {
        seen.shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
        if (!shot.isEmpty()) testsupport::SaveScreenshot(*box, shot);
        box->button(press)->click();
    });
}

// A fresh settings folder for the link controls, so that no test sees
// another's stored choices.
class SettingsFolder {
public:
    SettingsFolder() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString settingsFile() const { return dir.filePath("kelvane/VexloComm.ini"); }
    QTemporaryDir dir;
};

}  // namespace windowtest
