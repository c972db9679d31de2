#include "gui_driver.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPixmap>

namespace guitest {

bool saveScreenshot(QWidget& widget, const std::string& name) {
    const QString folder = QString(KF_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(folder);
    return widget.grab().save(folder + "/" + QString::fromStdString(name), "PNG");
}

QMessageBox* openMessageBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

bool fileDialogOpen() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr;
}

void answerFileDialog(const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr) {
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    }
}

Driver::Driver() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    watchdog_.setSingleShot(true);
    watchdog_.setInterval(30000);
    // Closes whatever is open, so that the code under test returns and the test fails.
    QObject::connect(&watchdog_, &QTimer::timeout, [this] {
        timer_.stop();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
    });
}

void Driver::step(std::string name, std::function<bool()> ready, std::function<void()> action,
                  bool expectsBox) {
    steps_.push_back({std::move(name), std::move(ready), std::move(action), expectsBox});
}

void Driver::box(std::string name, std::vector<QString>& texts,
                 QMessageBox::StandardButton answer) {
    step(
        std::move(name), [] { return openMessageBox() != nullptr; },
        [&texts, answer] {
            if (QMessageBox* box = openMessageBox()) {
                texts.push_back(box->text());
                box->done(answer);
            }
        },
        true);
}

void Driver::start() {
    timer_.start();
    watchdog_.start();
}

void Driver::poll() {
    if (polling_)
        return;
    polling_ = true;
    const bool boxExpected = !finished() && steps_[next_].expectsBox;
    if (QMessageBox* box = openMessageBox(); box != nullptr && !boxExpected) {
        unexpectedBoxes.push_back(box->text());
        box->done(QMessageBox::Ok);
    } else if (!finished() && steps_[next_].ready()) {
        // From the event loop, so that a modal dialog the action opens does not stop the polling.
        QTimer::singleShot(0, steps_[next_].action);
        ++next_;
    }
    if (finished())
        timer_.stop();
    polling_ = false;
}

}  // namespace guitest
