#include "dialog_base.hpp"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

// The icons live in the program's resources, compiled into a static library.
static void InitResources() { Q_INIT_RESOURCE(quarveld); }

namespace quarveld {

QFont DialogFont() {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont CounterFont() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(11);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

QIcon ProgramIcon(int id) {
    static const bool loaded = (InitResources(), true);
    (void)loaded;
    QIcon icon;
    for (int size : {16, 32, 48, 128})
        icon.addFile(QStringLiteral(":/quarveld/icon%1_%2.png").arg(id).arg(size), QSize(size, size));
    return icon;
}

TemplateDialog::TemplateDialog(QWidget* parent, const QString& caption, int width, int height, Frame frame)
    : QDialog(parent), frame_(frame) {
    // A title bar without a system menu or close box; or no frame at all.
    if (frame == Frame::Caption)
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    else
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(caption);
    setFont(DialogFont());
    setModal(true);

    // The average width is taken over the 52 letters, rounded.
    QFontMetrics metrics(font());
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (letters + 26) / 52;
    baseY_ = metrics.height();
    setFixedSize(X(width), Y(height));
}

int TemplateDialog::X(int units) const { return (units * baseX_ + 2) / 4; }
int TemplateDialog::Y(int units) const { return (units * baseY_ + 4) / 8; }

QRect TemplateDialog::Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(x + width) - X(x), Y(y + height) - Y(y));
}

QPushButton* TemplateDialog::AddButton(const QString& text, int id, int x, int y, int width, int height,
                                       bool isDefault, QWidget* parent) {
    auto* button = new QPushButton(text, parent != nullptr ? parent : this);
    button->setObjectName(text);
    button->setGeometry(Rect(x, y, width, height));
    // As on the original platform, Enter presses the focused button, and the
    // default one while no other button has the focus.
    button->setAutoDefault(true);
    button->setDefault(isDefault);
    connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
    return button;
}

QLabel* TemplateDialog::AddText(const QString& text, int x, int y, int width, int height, Qt::Alignment align,
                                const QString& name) {
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setAlignment(align | Qt::AlignTop);
    label->setGeometry(Rect(x, y, width, height));
    return label;
}

QLabel* TemplateDialog::AddIcon(int iconId, int x, int y) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(iconId));
    label->setPixmap(ProgramIcon(iconId).pixmap(32, 32));
    label->setGeometry(X(x), Y(y), 32, 32);
    return label;
}

void TemplateDialog::reject() { Command(2); }

// Buttons 1 to 7 end the dialog with their id; the dialogs that do more
// override this.
void TemplateDialog::Command(int id) {
    if (id >= 1 && id <= 7) done(id);
}

void TemplateDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (frame_ != Frame::None) return;
    // Without a title bar the window manager draws no border either.
    QPainter p(this);
    p.setPen(palette().color(QPalette::Shadow));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

}  // namespace quarveld
