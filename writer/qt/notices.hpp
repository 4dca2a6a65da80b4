#pragma once
// The closing notices of a write run and the "Exit" question.
#include "dialog_base.hpp"

namespace quarveld {

// Dialog results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// "Write End !" or "Write Error !": no title bar, stays until OK.
class NoticeDialog : public TemplateDialog {
    Q_OBJECT
public:
    enum class Kind { End, Error };
    NoticeDialog(QWidget* parent, Kind kind);
};

// Runs a notice modally, centred below `parent`'s window, and returns its result.
int RunNotice(QWidget* parent, NoticeDialog::Kind kind);

// "Setting Parameter Save?" with YES (6), NO (7) and CANCEL (2).
class ExitDialog : public TemplateDialog {
    Q_OBJECT
public:
    explicit ExitDialog(QWidget* parent);
};

}  // namespace quarveld
