#pragma once
// What the writer's dialogs share: the dialog font, dialog units, the icons,
// and command ids that end or steer a dialog.
#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QString>

class QLabel;
class QPushButton;

namespace quarveld {

// The font every window and dialog of the program uses (about 6 x 13 pixels
// a character, so dialog-unit sizes come out as the layouts were drawn).
QFont DialogFont();
// The fixed-pitch font of the byte counter.
QFont CounterFont();
// Icon 101, 102 or 103.
QIcon ProgramIcon(int id);

// A modal dialog laid out in dialog units. Buttons report their ids to
// Command(); Escape and a close request report 2, as a cancel would.
class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    enum class Frame { Caption, None };
    TemplateDialog(QWidget* parent, const QString& caption, int width, int height, Frame frame);

    // Dialog units to pixels, from the dialog font's average character
    // width / 4 and height / 8.
    QRect Rect(int x, int y, int width, int height) const;
    int X(int units) const;
    int Y(int units) const;

    QPushButton* AddButton(const QString& text, int id, int x, int y, int width, int height,
                           bool isDefault = false, QWidget* parent = nullptr);
    QLabel* AddText(const QString& text, int x, int y, int width, int height, Qt::Alignment align,
                    const QString& name);
    QLabel* AddIcon(int iconId, int x, int y);

    // The id a modal run ended with.
    void reject() override;

protected:
    virtual void Command(int id);
    void paintEvent(QPaintEvent* event) override;

private:
    Frame frame_;
    int baseX_ = 6;
    int baseY_ = 13;
};

}  // namespace quarveld
