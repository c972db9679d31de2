#include "programmer/gui/model_dialog.h"

#include <QCloseEvent>
#include <QTimer>
#include <QtGlobal>
#include <exception>

namespace gui {

ModelDialog::ModelDialog(const app::DialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {}

void ModelDialog::act(const std::function<void()>& handler) {
    if (busy_ || model_.ended)
        return;
    busy_ = true;
    // Nothing may be thrown through Qt's event dispatch.
    try {
        handler();
    } catch (const std::exception& error) {
        qCritical("kelvoflash: a handler failed: %s", error.what());
    } catch (...) {
        qCritical("kelvoflash: a handler failed");
    }
    busy_ = false;
    render();
    if (model_.ended) {
        posted_.clear();
        QDialog::done(model_.result);
        return;
    }
    if (!posted_.empty())
        QTimer::singleShot(0, this, [this] { runNextPosted(); });
}

void ModelDialog::post(std::function<void()> event) {
    if (model_.ended)
        return;
    posted_.push_back(std::move(event));
    if (!busy_)
        QTimer::singleShot(0, this, [this] { runNextPosted(); });
}

void ModelDialog::runNextPosted() {
    if (busy_ || posted_.empty())
        return;  // act() asks again when the running handler is done
    auto event = std::move(posted_.front());
    posted_.pop_front();
    act(event);
}

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
    if (busy_) {
        closeRefused();
        return;
    }
    act([this] { onClose(); });
}

void ModelDialog::reject() {
    act([this] { onEscape(); });
}

}  // namespace gui
