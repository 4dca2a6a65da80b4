#include "app.hpp"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "commands.hpp"
#include "pictures.hpp"
#include "send_session.hpp"

namespace kelvane {

QPushButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect place) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // A caption that would reach the button's edges is drawn a pixel smaller:
    // the window font is wider than the one the layout was made for.
    QFont font = parent->font();
    const QString text = QString(caption).remove(QLatin1Char('&'));
    while (font.pixelSize() > 8 &&
           QFontMetrics(font).horizontalAdvance(text) > place.width() - 2 * ButtonTextMargin)
        font.setPixelSize(font.pixelSize() - 1);
    if (font != parent->font()) button->setFont(font);
    button->setGeometry(place);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

namespace {

// A frame whose caption sits on its top line, as the layouts expect: the
// children's places count from the frame's top-left, and the first row
// must clear the line, not a caption drawn above it.
class Frame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics metrics = fontMetrics();
        const int line = metrics.height() / 2;
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(rect().adjusted(0, line, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(1, line + 1, width() - 3, line + 1);
        p.drawLine(1, line + 1, 1, height() - 3);
        if (title().isEmpty()) return;
        const QRect caption(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        p.fillRect(caption, palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(caption, Qt::AlignCenter, title());
    }
};

}  // namespace

QGroupBox* MakeFrame(QWidget* parent, const QString& name, const QString& caption, QRect place) {
    auto* frame = new Frame(caption, parent);
    frame->setObjectName(name);
    frame->setGeometry(place);
    return frame;
}

QFont WindowFont() {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

namespace {

// Wraps the compiled-in pixels; nothing is decoded.
QPixmap PicturePixmap(const pictures::Picture& picture) {
    return QPixmap::fromImage(QImage(reinterpret_cast<const uchar*>(picture.argb), picture.width,
                                     picture.height, picture.width * 4, QImage::Format_ARGB32));
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    icon.addPixmap(PicturePixmap(pictures::Icon32));
    icon.addPixmap(PicturePixmap(pictures::Icon64));
    return icon;
}

QPixmap SimpleWindowPicture() { return PicturePixmap(pictures::Image1); }

QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QString::fromLatin1(AppTitle), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("Message"));
    box.exec();
}

}  // namespace

void ShowFailure(QWidget* parent, const QString& reason) {
    ShowBox(parent, QMessageBox::Critical, reason);
}

void ShowWarning(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Warning, text);
}

void ShowWarningWhenShown(QWidget* window, const QString& text) {
    // The load steps run before the window is shown: the box waits for the event loop.
    QTimer::singleShot(0, window, [window, text] { ShowWarning(window, text); });
}

bool AskConfirm(QWidget* parent, const std::string& prompt) {
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(ConfirmTitle),
                    QString::fromStdString(prompt), QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("Confirm"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void FillSwitchSelector(QComboBox* selector) {
    for (int n = 0; n < SwitchCount; ++n) selector->addItem(QString::fromStdString(SwitchName(n)));
    selector->setCurrentIndex(0);
}

void FollowTypedText(QComboBox* selector) {
    selector->setEditable(true);
    selector->setInsertPolicy(QComboBox::NoInsert);
    // Completing inline would put a name into the field that the user did not type.
    selector->setCompleter(nullptr);
    QObject::connect(selector->lineEdit(), &QLineEdit::textEdited, selector, [selector](const QString& text) {
        const int index = selector->findText(text, Qt::MatchFixedString);
        const int cursor = selector->lineEdit()->cursorPosition();
        selector->setCurrentIndex(index);
        // Selecting rewrites the field; keep what the user typed.
        selector->lineEdit()->setText(text);
        selector->lineEdit()->setCursorPosition(cursor);
    });
}

}  // namespace kelvane
