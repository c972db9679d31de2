#include "programmer/gui/model_dialog.h"

#include <QCloseEvent>
#include <QTimer>
#include <QtGlobal>

namespace gui {

ModelDialog::ModelDialog(const app::DialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model), handlers_(model) {}

void ModelDialog::act(const std::function<void()>& handler) {
    afterHandler(handlers_.act(handler));
}

void ModelDialog::afterHandler(app::HandlerQueue::Outcome outcome) {
    if (outcome == app::HandlerQueue::Outcome::Refused)
        return;
    if (!handlers_.lastFailure().empty())
        qCritical("kelvoflash: a handler failed: %s", handlers_.lastFailure().c_str());
    render();
    if (outcome == app::HandlerQueue::Outcome::Ended) {
        QDialog::done(model_.result);
        return;
    }
    if (handlers_.hasPosted())
        QTimer::singleShot(0, this, [this] { runNextPosted(); });
}

void ModelDialog::post(std::function<void()> event) {
    if (handlers_.post(std::move(event)))
        QTimer::singleShot(0, this, [this] { runNextPosted(); });
}

// Refused while a handler runs: act() asks again when that one is done.
void ModelDialog::runNextPosted() { afterHandler(handlers_.runNextPosted()); }

int ModelDialog::run(const std::function<void()>& init) {
    setWindowModality(Qt::ApplicationModal);  // takes effect only when set before show()
    render();
    show();
    act(init);
    if (!model_.ended)
        exec();
    return model_.result;
}

void ModelDialog::closeEvent(QCloseEvent* event) {
    // The flow decides whether the dialog ends; act() closes it then.
    event->ignore();
    if (handlers_.busy()) {
        closeRefused();
        return;
    }
    act([this] { onClose(); });
}

void ModelDialog::reject() {
    act([this] { onEscape(); });
}

}  // namespace gui
