#include "write_dialog.hpp"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

#include <cstdio>

#include "notices.hpp"

namespace quarveld {

namespace {

const QString MotFilter = QStringLiteral("S-Format File (*.MOT)");
const QString AnyFilter = QStringLiteral("Other File (*.*)");

// What the file dialog offers again within one program run.
QString lastPath;
QString lastFilter = MotFilter;

// The notice says only that the run failed; this line says what failed.
void ReportFailure(const std::string& why) {
    std::fprintf(stderr, "QUARVELD: %s\n", why.c_str());
    std::fflush(stderr);
}

}  // namespace

namespace {

// "*.*" lists every file, names without a dot included, as the filter means
// on the system the images come from; the view's own wildcard would need a dot.
void ListEveryFileForAnyFilter(QFileDialog& dialog) {
    if (dialog.selectedNameFilter() != AnyFilter) return;
    if (auto* model = dialog.findChild<QFileSystemModel*>()) model->setNameFilters({QStringLiteral("*")});
}

// The file a chosen name stands for. The dialog adds ".MOT" to a name typed
// without one; where no such file is, one whose extension differs only in
// case is taken, then the name as typed.
QString ResolveChosenImage(const QString& chosen) {
    QFileInfo file(chosen);
    if (file.exists()) return chosen;
    QDir folder = file.absoluteDir();
    const QString base = file.completeBaseName();
    const QString extension = file.suffix();
    if (!extension.isEmpty()) {
        const QStringList names = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& name : names) {
            if (name.size() == file.fileName().size() && name.startsWith(base + '.') &&
                name.endsWith(extension, Qt::CaseInsensitive))
                return folder.filePath(name);
        }
    }
    if (extension == QStringLiteral("MOT") && QFileInfo(folder.filePath(base)).isFile()) return folder.filePath(base);
    return chosen;
}

}  // namespace

std::optional<QString> ChooseImageFile() {
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The name may be typed in; a file that is not there fails at its opening.
    dialog.setFileMode(QFileDialog::AnyFile);
    // Extensions match in any case: *.MOT lists image.mot too.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setNameFilters({MotFilter, AnyFilter});
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog] { ListEveryFileForAnyFilter(dialog); });
    dialog.selectNameFilter(lastFilter);
    ListEveryFileForAnyFilter(dialog);
    dialog.setDefaultSuffix(QStringLiteral("MOT"));
    // Opens on the last file again; when its folder has gone, in the default place.
    QFileInfo last(lastPath);
    if (!lastPath.isEmpty() && last.absoluteDir().exists()) {
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    lastPath = ResolveChosenImage(dialog.selectedFiles().first());
    lastFilter = dialog.selectedNameFilter();
    return lastPath;
}

WriteDialog::WriteDialog(QWidget* owner) : TemplateDialog(owner, QStringLiteral("Write"), 160, 40, Frame::Caption) {
    setObjectName(QStringLiteral("Write"));
    AddIcon(101, 8, 6);
    AddText(QStringLiteral("Write Abort ?"), 32, 8, 60, 8, Qt::AlignHCenter, QStringLiteral("text"));
    counter_ = AddText(QString(), 96, 8, 40, 8, Qt::AlignRight, QStringLiteral("213"));
    AddText(QStringLiteral("Byte"), 140, 8, 16, 8, Qt::AlignHCenter, QStringLiteral("Byte"));
    AddButton(QStringLiteral("ABORT"), IDABORT, 56, 24, 48, 10, true)->setFocus();
}

WriteDialog::~WriteDialog() { CloseRun(); }

int WriteDialog::Run(QWidget* owner, const PortSettings& settings, const DeviceMap& devices) {
    std::optional<QString> path = ChooseImageFile();
    if (!path) return 0;
    WriteDialog dialog(owner);
    if (!dialog.Start(*path, settings, devices)) return 0;
    return dialog.exec();
}

bool WriteDialog::Start(const QString& path, const PortSettings& settings, const DeviceMap& devices) {
    QWidget* owner = parentWidget();  // the dialog itself is not shown yet
    if (!OpenRunImage(run_, image_, path.toStdString())) {
        ReportFailure(run_.failure);
        RunNotice(owner, NoticeDialog::Kind::Error);
        return false;
    }
    counter_->setFont(CounterFont());
    SetCounter(0);

    port_ = OpenRunPort(run_, settings, devices);
    if (!port_) {
        CloseImage(image_);
        ReportFailure(run_.failure);
        RunNotice(owner, NoticeDialog::Kind::Error);
        return false;
    }
    run_.progressWindow = this;

    // Queued ahead of anything the worker sends, so a later total is never
    // overwritten by this 0.
    QMetaObject::invokeMethod(this, [this] { OnWriteMessage(UM_WRITE_PROGRESS, 0); }, Qt::QueuedConnection);
    if (!StartWriteWorker(run_)) {
        CloseRun();
        ReportFailure(run_.failure);
        RunNotice(owner, NoticeDialog::Kind::Error);
        return false;
    }
    return true;
}

void WriteDialog::HandleWriteMessage(int message, int32_t lParam) {
    // Nothing of this object may be touched once the call has returned: the
    // dialog may be gone by then.
    QMetaObject::invokeMethod(this, [this, message, lParam] { OnWriteMessage(message, lParam); },
                              Qt::BlockingQueuedConnection);
}

void WriteDialog::OnWriteMessage(int message, int32_t lParam) {
    switch (message) {
        case UM_WRITE_PROGRESS:
            SetCounter(lParam);
            break;
        case UM_WRITE_END:
            CloseRun();
            RunNotice(this, NoticeDialog::Kind::End);
            done(1);
            break;
        case UM_WRITE_ERROR:
            CloseRun();
            ReportFailure(run_.failure);
            RunNotice(this, NoticeDialog::Kind::Error);
            done(0);
            break;
        case UM_WRITE_ABORTED:
            CloseRun();
            done(3);
            break;
        default:
            break;
    }
}

void WriteDialog::Command(int id) {
    // ABORT only tells the worker; the dialog ends with its answer. Escape and
    // every other command do nothing.
    if (id == IDABORT) run_.writeRunning.store(0);
}

void WriteDialog::SetCounter(int32_t total) {
    counter_->setText(QString::asprintf("%8ld", static_cast<long>(total)));
}

void WriteDialog::CloseRun() {
    if (port_) ClosePort(port_);
    if (image_.file != nullptr) CloseImage(image_);
}

}  // namespace quarveld
