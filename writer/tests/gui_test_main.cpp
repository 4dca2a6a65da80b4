// Runs the writer's GUI tests offscreen with one QApplication for the binary.
#include <QApplication>
#include <QStyleFactory>

#include <cstdlib>

#include <gtest/gtest.h>

#include "dialog_base.hpp"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(quarveld::DialogFont());
    // Closing the main window in a test must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
