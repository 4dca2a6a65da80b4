#include "port_dialog.hpp"

#include <algorithm>

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>

#include "notices.hpp"

namespace quarveld {

namespace {

struct Group {
    const char* caption;
    int x, y, width, height;
    int firstId;
    std::initializer_list<const char*> captions;
    int buttonX, buttonY, buttonWidth;
};

// The captions of 9600, 4800 and 2400 baud begin with a blank, so the digits line up.
const Group Groups[] = {
    {"BaudRate", 8, 8, 64, 60, ID_19200, {"19200bps", " 9600bps", " 4800bps", " 2400bps"}, 20, 20, 44},
    {"BitLength", 8, 72, 64, 36, ID_8BIT, {"8bit", "7bit"}, 20, 84, 44},
    {"Parity", 84, 8, 60, 48, ID_NONE, {"None", "Odd", "Even"}, 96, 20, 40},
    {"Port", 84, 60, 60, 48, ID_COM1, {"COM1", "COM2", "LPT1"}, 96, 72, 40},
};

}  // namespace

PortDialog::PortDialog(QWidget* parent, PortSettings& settings)
    : TemplateDialog(parent, QStringLiteral("Port"), 152, 132, Frame::Caption), settings_(settings) {
    setObjectName(QStringLiteral("Port"));
    const int stored[4] = {settings.BaudRate, settings.BitLength, settings.Parity, settings.Port};
    int g = 0;
    for (const Group& group : Groups) {
        auto* box = new QGroupBox(QString::fromLatin1(group.caption), this);
        box->setObjectName(QString::fromLatin1(group.caption));
        box->setGeometry(Rect(group.x, group.y, group.width, group.height));
        auto* exclusive = new QButtonGroup(this);
        int id = group.firstId;
        int y = group.buttonY;
        for (const char* caption : group.captions) {
            auto* button = new QRadioButton(QString::fromLatin1(caption), box);
            button->setObjectName(QString::number(id));
            // Laid out in dialog coordinates; the box is the button's parent.
            QRect place = Rect(group.buttonX, y, group.buttonWidth, 8).translated(-box->pos());
            // This style's check circle is wider than the drawn one; let the
            // caption use the room up to the box's edge rather than clip it.
            int room = box->width() - 3 - place.x();
            place.setWidth(std::min(room, std::max(place.width(), button->sizeHint().width())));
            button->setGeometry(place);
            button->setChecked(id == stored[g]);
            exclusive->addButton(button, id);
            buttons_[id - ID_19200] = button;
            if (id == ID_COM1 || id == ID_COM2 || id == ID_LPT1)
                connect(button, &QRadioButton::clicked, this, [this, id] { Command(id); });
            ++id;
            y += 12;
        }
        connect(exclusive, &QButtonGroup::idToggled, this, [this, exclusive](int, bool checked) {
            if (checked) SetTabStop(exclusive);
        });
        SetTabStop(exclusive);
        ++g;
    }
    AddButton(QStringLiteral("OK"), IDOK, 20, 116, 48, 10, true);
    AddButton(QStringLiteral("CANCEL"), IDCANCEL, 84, 116, 48, 10);
    if (Button(ID_LPT1)->isChecked()) EnableSerialButtons(false);
}

// Tab reaches a group of radio buttons at its checked button (at its first
// while none is checked); the arrow keys move within the group.
void PortDialog::SetTabStop(QButtonGroup* group) {
    QAbstractButton* stop = group->checkedButton() ? group->checkedButton() : group->buttons().value(0);
    for (QAbstractButton* button : group->buttons())
        button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void PortDialog::EnableSerialButtons(bool enable) {
    for (int id = ID_19200; id <= ID_EVEN; ++id) Button(id)->setEnabled(enable);
}

void PortDialog::Command(int id) {
    switch (id) {
        case IDOK:
            // Disabled buttons count too, so the serial values survive a choice of LPT1.
            for (int i = ID_19200; i <= ID_LPT1; ++i) {
                if (!Button(i)->isChecked()) continue;
                if (i <= ID_2400) settings_.BaudRate = i;
                else if (i <= ID_7BIT) settings_.BitLength = i;
                else if (i <= ID_EVEN) settings_.Parity = i;
                else settings_.Port = i;
            }
            done(IDOK);
            break;
        case IDCANCEL:
            done(IDCANCEL);
            break;
        case ID_COM1:
        case ID_COM2:
            EnableSerialButtons(true);
            break;
        case ID_LPT1:
            EnableSerialButtons(false);
            break;
        default:
            break;
    }
}

}  // namespace quarveld
