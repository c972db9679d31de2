#pragma once
// The connection dialog's window: interface type, port, Connect, status, OK and Cancel. It shows
// CMorvatDlg's model and hands every user action to CMorvatDlg.

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "programmer/app/cmorvat_dlg.h"
#include "programmer/gui/model_dialog.h"

namespace gui {

class ConnectionDialog : public ModelDialog {
    Q_OBJECT
public:
    explicit ConnectionDialog(app::CMorvatDlg& dialog, QWidget* parent = nullptr);

    void render() override;

    QRadioButton* comPortRadio() const { return comPort_; }
    QRadioButton* cameraLinkRadio() const { return cameraLink_; }
    QComboBox* portList() const { return ports_; }
    QPushButton* connectButton() const { return connect_; }
    QLabel* statusText() const { return status_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    void onClose() override { dialog_.OnCancel(); }
    void onEscape() override { dialog_.OnCancel(); }
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* makeInterfaceGroup();
    QWidget* makePortGroup();
    QWidget* makeStatusGroup();
    QLayout* makeButtons();

    app::CMorvatDlg& dialog_;
    QButtonGroup types_;
    QRadioButton* comPort_ = nullptr;
    QRadioButton* cameraLink_ = nullptr;
    QComboBox* ports_ = nullptr;
    QPushButton* connect_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace gui
