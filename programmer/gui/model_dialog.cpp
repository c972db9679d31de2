#include "programmer/gui/model_dialog.h"

#include <QCloseEvent>
#include <QMessageBox>
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
    if (!handlers_.lastFailure().empty()) {
        // The flow stopped half-way: the user hears of it and gets the controls back.
        QMessageBox::critical(this, windowTitle(),
                              QString::fromStdString(app::FailureText(handlers_.lastFailure())));
        afterFailure();
    }
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
    if (handlers_.busy()) {
        closeRefused();
        return;
    }
    act([this] { onEscape(); });
}

void ModelDialog::closeRefused() {
    // One box at a time, however often the user tries.
    if (auto* shown = findChild<QMessageBox*>(QStringLiteral("closeRefused"));
        shown != nullptr && shown->isVisible())
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                QString::fromUtf8(app::kCloseRefusedText), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("closeRefused"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace gui
