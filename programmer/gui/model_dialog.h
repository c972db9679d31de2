#pragma once
// A Qt dialog that shows a flow's DialogModel and runs the flow's handlers for the user's actions.
// Handlers run one at a time: the flows pump events while they work, and a second click must not
// start a flow inside the first (closing the window, too, waits until the running flow is done).

#include <QDialog>
#include <deque>
#include <functional>

#include "programmer/app/dialog_model.h"

namespace gui {

class ModelDialog : public QDialog {
    Q_OBJECT
public:
    ModelDialog(const app::DialogModel& model, QWidget* parent);

    const app::DialogModel& model() const { return model_; }
    // Brings the widgets in line with the model.
    virtual void render() = 0;
    // True while a handler of the flow runs on this dialog.
    bool busy() const { return busy_; }

    // Runs `handler` unless one is running already or the dialog has ended, then shows the model
    // and closes the dialog when the handler ended it.
    void act(const std::function<void()>& handler);
    // Runs `event` after the current handler returned; dropped when the dialog ends first.
    void post(std::function<void()> event);
    // Shows the dialog (modal), runs `init`, then the dialog's event loop unless `init` ended it.
    // Returns the model's result.
    int run(const std::function<void()>& init);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Escape
    virtual void onClose() = 0;
    virtual void onEscape() = 0;
    // The user tried to close the window while a flow runs; the window stays.
    virtual void closeRefused() {}

private:
    void runNextPosted();

    const app::DialogModel& model_;
    bool busy_ = false;
    std::deque<std::function<void()>> posted_;
};

}  // namespace gui
