#pragma once
// The main programming dialog's window: one row per device (check box, Current FW, Loaded FW,
// progress bar), the buttons and the status line. It shows ProgDlg's model and hands every user
// action to ProgDlg.

#include <QLabel>
#include <QPushButton>
#include <array>
#include <map>

#include "programmer/app/prog_dlg.h"
#include "programmer/gui/model_dialog.h"
#include "programmer/gui/packet_push_button.h"
#include "programmer/gui/row_progress_bar.h"

class QCheckBox;
class QGridLayout;
class QLayout;

namespace gui {

class MainDialog : public ModelDialog {
    Q_OBJECT
public:
    explicit MainDialog(app::ProgDlg& dialog, QWidget* parent = nullptr);

    void render() override;
    // Shows the model and paints the dialog before returning, so that a row's new colour is on
    // screen before the flow goes on.
    void repaintNow();

    // The widgets, by the flow's control ids and rows.
    QPushButton* button(int id) const;
    QCheckBox* checkBox(int row) const { return rows_[static_cast<size_t>(row)].check; }
    QLabel* currentFw(int row) const { return rows_[static_cast<size_t>(row)].currentFw; }
    QLabel* loadedFw(int row) const { return rows_[static_cast<size_t>(row)].loadedFw; }
    RowProgressBar* progressBar(int row) const { return rows_[static_cast<size_t>(row)].progress; }
    QLabel* statusLine() const { return statusLine_; }

protected:
    void onClose() override { dialog_.OnClose(); }
    void onEscape() override { dialog_.OnCancel(); }
    void afterFailure() override { dialog_.AfterFailure(); }
    void showEvent(QShowEvent* event) override;

private:
    struct Row {
        QCheckBox* check = nullptr;
        QLabel* currentFw = nullptr;
        QLabel* loadedFw = nullptr;
        RowProgressBar* progress = nullptr;
    };

    QLayout* makeRows();
    QLayout* makeButtons();
    QWidget* makeStatusLine();
    void onButton(int id);
    void onDeviceClicked(int row, bool checked);
    void onPacketRightClick();

    app::ProgDlg& dialog_;
    std::array<Row, app::kRowCount> rows_{};
    std::map<int, QPushButton*> buttons_;
    QLabel* statusLine_ = nullptr;
};

}  // namespace gui
