#include "programmer/gui/qt_host.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

#include "programmer/app/cmorvat_dlg.h"
#include "programmer/app/prog_dlg.h"
#include "programmer/gui/connection_dialog.h"
#include "programmer/gui/file_filter.h"
#include "programmer/gui/main_dialog.h"

namespace gui {

namespace {

constexpr int kPumpMilliseconds = 100;

QString boxCaption(const std::string& caption) {
    return caption.empty() ? QApplication::applicationName() : QString::fromStdString(caption);
}

std::optional<std::string> runFileDialog(QWidget* parent, const app::FileDialogRequest& request,
                                         QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, QString::fromStdString(request.title));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    if (!request.filter.empty())
        dialog.setNameFilter(qtFileFilter(request.filter));
    if (!request.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    // The flows ask about an existing file themselves, in their own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.initialName.empty())
        dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

// A text laid out with tabs (the usage text) is a table; the box would wrap its long lines, so
// its text gets the width of its longest line.
void keepTableLines(QMessageBox& box) {
    if (!box.text().contains('\t'))
        return;
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    if (label == nullptr)
        return;
    label->setWordWrap(false);
    label->setMinimumWidth(label->sizeHint().width());
}

}  // namespace

QWidget* QtHost::topWindow() const {
    if (connection_ != nullptr)
        return connection_;
    return main_;
}

ModelDialog* QtHost::windowOf(const app::DialogModel& model) const {
    if (main_ != nullptr && &main_->model() == &model)
        return main_;
    if (connection_ != nullptr && &connection_->model() == &model)
        return connection_;
    return nullptr;
}

void QtHost::messageBox(const std::string& text, const std::string& caption, app::BoxIcon icon) {
    QMessageBox box(topWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(icon == app::BoxIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setWindowTitle(boxCaption(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    keepTableLines(box);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool QtHost::askYesNo(const std::string& text, const std::string& caption) {
    return askQuestion(text, caption, QMessageBox::Warning);
}

bool QtHost::askYesNoWithoutIcon(const std::string& text) {
    return askQuestion(text, "", QMessageBox::NoIcon);
}

bool QtHost::askQuestion(const std::string& text, const std::string& caption, int icon) {
    QMessageBox box(topWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(static_cast<QMessageBox::Icon>(icon));
    box.setWindowTitle(boxCaption(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtHost::openFileDialog(const app::FileDialogRequest& request) {
    return runFileDialog(topWindow(), request, QFileDialog::AcceptOpen);
}

std::optional<std::string> QtHost::saveFileDialog(const app::FileDialogRequest& request) {
    return runFileDialog(topWindow(), request, QFileDialog::AcceptSave);
}

void QtHost::pumpMessages() {
    // Show what the flow has changed (it may have disabled the buttons) before events arrive.
    if (main_ != nullptr)
        main_->render();
    if (connection_ != nullptr)
        connection_->render();
    QCoreApplication::processEvents(QEventLoop::AllEvents, kPumpMilliseconds);
}

void QtHost::repaintNow(const app::DialogModel& model) {
    if (main_ != nullptr && &main_->model() == &model) {
        main_->repaintNow();
    } else if (ModelDialog* window = windowOf(model)) {
        window->render();
        window->repaint();
    }
}

void QtHost::modelChanged(const app::DialogModel& model) {
    if (ModelDialog* window = windowOf(model))
        window->render();
}

// Only the main dialog posts to itself; with no main dialog running the event is dropped.
void QtHost::post(std::function<void()> event) {
    if (main_ != nullptr)
        main_->post(std::move(event));
}

int QtHost::runConnectionDialog(app::CMorvatDlg& dialog) {
    ConnectionDialog window(dialog, main_);
    ConnectionDialog* outer = connection_;
    connection_ = &window;
    const int result = window.run([&dialog] { dialog.OnInitDialog(); });
    connection_ = outer;
    return result;
}

int QtHost::runMainDialog(app::ProgDlg& dialog) {
    MainDialog window(dialog);
    MainDialog* outer = main_;
    main_ = &window;
    const int result = window.run([&dialog] { dialog.OnInitDialog(); });
    main_ = outer;
    return result;
}

void QtHost::showAboutBox(const std::string& title, const std::string& text) {
    QMessageBox box(topWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace gui
