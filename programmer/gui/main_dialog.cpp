#include "programmer/gui/main_dialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "programmer/app/control_ids.h"
#include "protocol/commands.h"

namespace gui {

namespace {

QLabel* makeHeader(const char* text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A read-only field for a version text: monospace, so that the versions of the rows line up.
QLabel* makeVersionField() {
    auto* label = new QLabel(protocol::kNoVersionText);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setMargin(3);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("0000 V00.00") + 16);
    return label;
}

}  // namespace

MainDialog::MainDialog(app::ProgDlg& dialog, QWidget* parent)
    : ModelDialog(dialog.Model(), parent), dialog_(dialog) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(12);

    auto* devices = new QGroupBox;
    devices->setLayout(makeRows());
    layout->addWidget(devices);
    layout->addLayout(makeButtons());
    layout->addWidget(makeStatusLine());

    setMinimumWidth(720);
    setSizeGripEnabled(true);
}

QLayout* MainDialog::makeRows() {
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    grid->addWidget(makeHeader("Device"), 0, 0);
    grid->addWidget(makeHeader("Current FW"), 0, 1, Qt::AlignHCenter);
    grid->addWidget(makeHeader("Loaded FW"), 0, 2, Qt::AlignHCenter);
    grid->addWidget(makeHeader("Programming Progress"), 0, 3);
    for (int r = 0; r < app::kRowCount; ++r) {
        Row& row = rows_[static_cast<size_t>(r)];
        row.check = new QCheckBox;
        row.check->setEnabled(false);
        connect(row.check, &QCheckBox::clicked, this,
                [this, r](bool on) { onDeviceClicked(r, on); });
        row.currentFw = makeVersionField();
        row.loadedFw = makeVersionField();
        row.progress = new RowProgressBar;
        row.progress->setMinimumWidth(240);
        row.progress->setFixedHeight(row.currentFw->sizeHint().height());
        grid->addWidget(row.check, r + 1, 0);
        grid->addWidget(row.currentFw, r + 1, 1);
        grid->addWidget(row.loadedFw, r + 1, 2);
        grid->addWidget(row.progress, r + 1, 3);
    }
    grid->setColumnStretch(3, 1);
    return grid;
}

QLayout* MainDialog::makeButtons() {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    const auto add = [&](int id, QPushButton* button) {
        button->setMinimumWidth(96);
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, id] { onButton(id); });
        buttons_[id] = button;
        row->addWidget(button);
    };
    add(app::kIdSelectPort, new QPushButton);
    add(app::kIdLoadFile, new QPushButton);
    add(app::kIdProgram, new QPushButton);
    auto* packet = new PacketPushButton;
    connect(packet, &PacketPushButton::rightClicked, this, [this] { onPacketRightClick(); });
    add(app::kIdPacket, packet);
    add(app::kIdReboot, new QPushButton);
    row->addStretch(1);
    auto* quit = new QPushButton;
    quit->setDefault(true);  // Enter quits while no other button has the focus
    add(app::kIdQuit, quit);
    return row;
}

QWidget* MainDialog::makeStatusLine() {
    statusLine_ = new QLabel;
    statusLine_->setTextFormat(Qt::PlainText);
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLine_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    statusLine_->setMargin(6);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine_->setMinimumHeight(statusLine_->fontMetrics().lineSpacing() * 3 + 14);
    statusLine_->setBackgroundRole(QPalette::Base);
    statusLine_->setAutoFillBackground(true);
    return statusLine_;
}

QPushButton* MainDialog::button(int id) const {
    const auto found = buttons_.find(id);
    return found == buttons_.end() ? nullptr : found->second;
}

void MainDialog::render() {
    const app::DialogModel& m = model();
    // The loaded file's name follows the title, so that the window tells what it would write.
    QString title = QString::fromStdString(m.windowTitle);
    if (!dialog_.Loaded().loadedFileName.empty())
        title = title.trimmed() + QStringLiteral(" - ") +
                QFileInfo(QString::fromStdString(dialog_.Loaded().loadedFileName)).fileName();
    setWindowTitle(title);
    for (const auto& [id, button] : buttons_) {
        button->setText(QString::fromStdString(m.caption(id)));
        button->setEnabled(m.isEnabled(id));
    }
    for (int r = 0; r < app::kRowCount; ++r) {
        Row& row = rows_[static_cast<size_t>(r)];
        const app::Control& check = m.control(app::checkBoxId(r));
        row.check->setText(QString::fromStdString(check.caption));
        row.check->setEnabled(check.enabled);
        row.check->setChecked(check.checked);  // clicked() is not emitted for this
        row.currentFw->setText(QString::fromStdString(m.caption(app::currentFwId(r))));
        row.loadedFw->setText(QString::fromStdString(m.caption(app::loadedFwId(r))));
        row.progress->setValue(m.control(app::progressId(r)).position);
        row.progress->setRowState(m.rowState[static_cast<size_t>(r)]);
    }
    statusLine_->setText(QString::fromStdString(m.caption(app::kIdStatusLine)));
}

void MainDialog::repaintNow() {
    render();
    repaint();
}

// Quit starts with the focus, so that Enter quits until the user moves to another button.
void MainDialog::showEvent(QShowEvent* event) {
    ModelDialog::showEvent(event);
    if (QPushButton* quit = button(app::kIdQuit); quit->isEnabled())
        quit->setFocus();
}

void MainDialog::onButton(int id) {
    if (!model().isEnabled(id))
        return;
    switch (id) {
        case app::kIdSelectPort:
            act([this] { dialog_.OnSelectPort(); });
            break;
        case app::kIdLoadFile:
            act([this] { dialog_.OnLoadFile(); });
            break;
        case app::kIdProgram:
            act([this] { dialog_.OnProgram(); });
            break;
        case app::kIdPacket:
            act([this] { dialog_.OnPacket(); });
            break;
        case app::kIdReboot:
            act([this] { dialog_.OnReboot(); });
            break;
        case app::kIdQuit:
            act([this] { dialog_.OnQuit(); });
            break;
        default:
            break;
    }
}

void MainDialog::onDeviceClicked(int row, bool checked) {
    if (busy())
        return;
    dialog_.CheckDevice(row, checked);
}

void MainDialog::onPacketRightClick() {
    if (!busy())
        dialog_.OnPacketRightClick();  // posts the mode switch to this dialog
}

}  // namespace gui
