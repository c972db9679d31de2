#pragma once
// Plays the person in front of the modal Qt dialogs: a timer polls each step until its window is
// ready, then acts on it. Message boxes no step expects are recorded and closed.

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

// Saves a picture of `widget` as <build>/test-artifacts/<name>; false when it was not written.
inline bool saveScreenshot(QWidget& widget, const std::string& name) {
    const QString folder = QString(KF_BINARY_DIR) + "/test-artifacts";
    QDir().mkpath(folder);
    return widget.grab().save(folder + "/" + QString::fromStdString(name), "PNG");
}

// The one on top, if any.
inline QMessageBox* openMessageBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

inline bool fileDialogOpen() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr;
}

// Types `path` into the open file dialog's name field and accepts it, as a person would (the
// dialog lists folders lazily).
inline void answerFileDialog(const std::string& path) {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr) {
        name->setText(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept");
    }
}

class Driver {
public:
    Driver() {
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
    // `ready` is polled; once true, `action` runs from the event loop (it may block in a modal
    // dialog while the next steps go on).
    void step(std::string name, std::function<bool()> ready, std::function<void()> action,
              bool expectsBox = false) {
        steps_.push_back({std::move(name), std::move(ready), std::move(action), expectsBox});
    }
    // A step that waits for a message box, shows it to `look` (if given), adds its text to
    // `texts` and answers `answer`.
    void box(std::string name, std::vector<QString>& texts,
             QMessageBox::StandardButton answer = QMessageBox::Ok,
             std::function<void(QMessageBox&)> look = {}) {
        step(
            std::move(name), [] { return openMessageBox() != nullptr; },
            [&texts, answer, look] {
                if (QMessageBox* box = openMessageBox()) {
                    if (look)
                        look(*box);
                    texts.push_back(box->text());
                    box->done(answer);
                }
            },
            true);
    }
    void start() {
        timer_.start();
        watchdog_.start();
    }
    bool finished() const { return next_ == steps_.size(); }
    std::string pending() const { return finished() ? "" : steps_[next_].name; }

    std::vector<QString> unexpectedBoxes;

private:
    void poll() {
        if (polling_)
            return;
        polling_ = true;
        const bool boxExpected = !finished() && steps_[next_].expectsBox;
        if (QMessageBox* box = openMessageBox(); box != nullptr && !boxExpected) {
            unexpectedBoxes.push_back(box->text());
            box->done(QMessageBox::Ok);
        } else if (!finished() && steps_[next_].ready()) {
            // From the event loop, so that a modal dialog the action opens does not stop the
            // polling.
            QTimer::singleShot(0, steps_[next_].action);
            ++next_;
        }
        if (finished())
            timer_.stop();
        polling_ = false;
    }

    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> action;
        bool expectsBox;
    };
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool polling_ = false;
    QTimer timer_;
    QTimer watchdog_;
};

}  // namespace guitest
