#pragma once
// A Qt dialog that shows a flow's DialogModel and runs the flow's handlers for the user's actions,
// one at a time (app::HandlerQueue); closing the window, too, waits until the running flow is done.

#include <QDialog>
#include <functional>

#include "programmer/app/dialog_model.h"
#include "programmer/app/handler_queue.h"

namespace gui {

class ModelDialog : public QDialog {
    Q_OBJECT
public:
    ModelDialog(const app::DialogModel& model, QWidget* parent);

    const app::DialogModel& model() const { return model_; }
    // Brings the widgets in line with the model.
    virtual void render() = 0;
    // True while a handler of the flow runs on this dialog.
    bool busy() const { return handlers_.busy(); }

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
    // A handler threw: bring the controls to the state its flow leaves when it ends.
    virtual void afterFailure() {}
    // The user tried to close the window while a flow runs: the window stays and says why, in a
    // box that is not modal, so that the running flow goes on pumping events while it is shown.
    void closeRefused();

private:
    void runNextPosted();
    // Shows the model after a handler ran, closes the dialog when it ended, wakes for posted events.
    void afterHandler(app::HandlerQueue::Outcome outcome);

    const app::DialogModel& model_;
    app::HandlerQueue handlers_;
};

}  // namespace gui
