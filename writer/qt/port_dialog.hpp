#pragma once
// The "Port" dialog: baud rate, bit length, parity and port.
#include <QRadioButton>

class QButtonGroup;

#include "dialog_base.hpp"
#include "port.hpp"

namespace quarveld {

class PortDialog : public TemplateDialog {
    Q_OBJECT
public:
    // OK stores the checked ids in `settings`; CANCEL leaves it alone.
    PortDialog(QWidget* parent, PortSettings& settings);

    QRadioButton* Button(int id) const { return buttons_[id - ID_19200]; }

protected:
    void Command(int id) override;

private:
    void EnableSerialButtons(bool enable);
    void SetTabStop(QButtonGroup* group);

    PortSettings& settings_;
    QRadioButton* buttons_[12] = {};
};

}  // namespace quarveld
