#pragma once
// Helpers for GUI tests: answering modal dialogs and saving screenshots.
#include <QApplication>
#include <QDir>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Saves the widget as SCREENSHOT_DIR/<name>.png.
inline bool SaveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    return widget.grab().save(QStringLiteral(SCREENSHOT_DIR) + "/" + name + ".png");
}

// Calls `answer` with the first modal widget that appears, polling every 20 ms
// until it does. Keep the returned timer alive while the modal runs.
inline std::unique_ptr<QTimer> AnswerNextModal(std::function<void(QWidget*)> answer) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(20);
    QTimer* raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, [raw, answer]() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            raw->stop();
            answer(modal);
        }
    });
    timer->start();
    return timer;
}

}  // namespace testsupport
