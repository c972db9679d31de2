#pragma once
// Plays the person in front of the modal Qt dialogs: a timer polls each step until its window is
// ready, then acts on it. Message boxes no step expects are recorded and closed.

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace guitest {

// Saves a picture of `widget` as <build>/test-artifacts/<name>; false when it was not written.
bool saveScreenshot(QWidget& widget, const std::string& name);
QMessageBox* openMessageBox();  // the one on top, if any
bool fileDialogOpen();
// Types `path` into the open file dialog's name field and accepts it, as a person would (the
// dialog lists folders lazily).
void answerFileDialog(const std::string& path);

class Driver {
public:
    Driver();
    // `ready` is polled; once true, `action` runs from the event loop (it may block in a modal
    // dialog while the next steps go on).
    void step(std::string name, std::function<bool()> ready, std::function<void()> action,
              bool expectsBox = false);
    // A step that waits for a message box, adds its text to `texts` and answers `answer`.
    void box(std::string name, std::vector<QString>& texts,
             QMessageBox::StandardButton answer = QMessageBox::Ok);
    void start();
    bool finished() const { return next_ == steps_.size(); }
    std::string pending() const { return finished() ? "" : steps_[next_].name; }

    std::vector<QString> unexpectedBoxes;

private:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> action;
        bool expectsBox;
    };
    void poll();

    std::vector<Step> steps_;
    size_t next_ = 0;
    bool polling_ = false;
    QTimer timer_;
    QTimer watchdog_;
};

}  // namespace guitest
