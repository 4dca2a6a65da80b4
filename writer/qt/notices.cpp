#include "notices.hpp"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "notice_place.hpp"

namespace quarveld {

NoticeDialog::NoticeDialog(QWidget* parent, Kind kind)
    : TemplateDialog(parent, QString(), 120, 40, Frame::None) {
    const bool end = kind == Kind::End;
    setObjectName(end ? QStringLiteral("WriteEnd") : QStringLiteral("WriteError"));
    AddIcon(end ? 102 : 103, 8, 6);
    AddText(end ? QStringLiteral("Write End !") : QStringLiteral("Write Error !"), 30, 8, 60, 8,
            Qt::AlignHCenter, QStringLiteral("text"));
    AddButton(QStringLiteral("OK"), IDOK, 36, 24, 48, 10, true)->setFocus();
}

int RunNotice(QWidget* parent, NoticeDialog::Kind kind) {
    NoticeDialog notice(parent, kind);
    if (parent != nullptr) {
        const QRect owner = parent->window()->frameGeometry();
        const QRect screen = parent->screen()->availableGeometry();
        const ScreenBox place = NoticePlace({owner.x(), owner.y(), owner.width(), owner.height()}, notice.width(),
                                            notice.height(), {screen.x(), screen.y(), screen.width(), screen.height()});
        notice.move(place.left, place.top);
    }
    return notice.exec();
}

ExitDialog::ExitDialog(QWidget* parent) : TemplateDialog(parent, QStringLiteral("Exit"), 180, 40, Frame::Caption) {
    setObjectName(QStringLiteral("Exit"));
    AddIcon(102, 8, 6);
    AddText(QStringLiteral("Setting Parameter Save?"), 40, 8, 100, 8, Qt::AlignHCenter, QStringLiteral("text"));
    QPushButton* yes = AddButton(QStringLiteral("YES"), IDYES, 8, 24, 48, 10, true);
    AddButton(QStringLiteral("NO"), IDNO, 66, 24, 48, 10);
    AddButton(QStringLiteral("CANCEL"), IDCANCEL, 124, 24, 48, 10);
    yes->setFocus();
}

}  // namespace quarveld
