#pragma once
// What both windows of Kelvane2 share: the application title, the window
// font, the program icon, message boxes, twips and the switch selectors.
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <string>

class QComboBox;
class QGroupBox;
class QPushButton;
class QWidget;

namespace kelvane {

inline constexpr const char* AppTitle = "Kelvane v2.1";

// Fixed so that the layouts in twips look the same on every machine.
QFont WindowFont();
QIcon ProgramIcon();
// Image1 of the simple window.
QPixmap SimpleWindowPicture();

// 15 twips make one pixel at 96 dots per inch.
constexpr int Twips(int twips) { return twips / 15; }
QRect TwipsRect(int left, int top, int width, int height);

// Controls placed as the window tables give them. Buttons never act as the
// default button: no button reacts to Enter by itself. A caption keeps this
// many pixels clear of its button's edges on either side.
constexpr int ButtonTextMargin = 4;
QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect place);
QGroupBox* MakeFrame(QWidget* parent, const QString& name, const QString& caption, QRect place);

// A failure of the link, a file or the port: the reason, titled with the
// application title. The program goes on.
void ShowFailure(QWidget* parent, const QString& reason);
// Exclamation icon and OK, titled with the application title.
void ShowWarning(QWidget* parent, const QString& text);
// The same, once `window` is up: for what its load steps found.
void ShowWarningWhenShown(QWidget* window, const QString& text);
// Stop icon, OK and Cancel with OK the default; true only for OK.
bool AskConfirm(QWidget* parent, const std::string& prompt);

// The sixteen switch names, entry 0 selected. The edit field stays: text
// typed into it selects the entry it names (in any case), and text that names
// none leaves no entry selected.
void FillSwitchSelector(QComboBox* selector);
void FollowTypedText(QComboBox* selector);

}  // namespace kelvane
