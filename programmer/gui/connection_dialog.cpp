#include "programmer/gui/connection_dialog.h"

#include "platform/serial_port.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include "programmer/app/control_ids.h"
#include "programmer/app/start_options.h"

namespace gui {

namespace {
// "ComPort_1" shows the device that entry opens: "ComPort_1  (/dev/ttyS0)".
QString withDevicePath(const QString& entry) {
    static const QString prefix = QStringLiteral("ComPort_");
    if (!entry.startsWith(prefix))
        return entry;
    bool number = false;
    const int port = entry.mid(prefix.size()).toInt(&number);
    if (!number)
        return entry;
    return entry + QStringLiteral("  (") + QString::fromStdString(platform::comPortPath(port)) +
           QStringLiteral(")");
}
}  // namespace

ConnectionDialog::ConnectionDialog(app::CMorvatDlg& dialog, QWidget* parent)
    : ModelDialog(dialog.model, parent), dialog_(dialog) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(10);
    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(makeInterfaceGroup(), 1);
    top->addWidget(makePortGroup(), 1);
    layout->addLayout(top);
    layout->addWidget(makeStatusGroup(), 1);
    layout->addLayout(makeButtons());
    setMinimumWidth(420);
}

QWidget* ConnectionDialog::makeInterfaceGroup() {
    auto* group = new QGroupBox("Interface Type");
    auto* box = new QVBoxLayout(group);
    comPort_ = new QRadioButton;
    cameraLink_ = new QRadioButton;
    types_.addButton(comPort_, app::kInterfaceComPort);
    types_.addButton(cameraLink_, app::kInterfaceCameraLink);
    box->addWidget(comPort_);
    box->addWidget(cameraLink_);
    box->addStretch(1);
    connect(&types_, &QButtonGroup::idClicked, this,
            [this](int type) { act([this, type] { dialog_.OnInterfaceType(type); }); });
    return group;
}

QWidget* ConnectionDialog::makePortGroup() {
    auto* group = new QGroupBox("Port");
    auto* box = new QVBoxLayout(group);
    ports_ = new QComboBox;
    connect_ = new QPushButton;
    connect(ports_, &QComboBox::activated, this,
            [this](int index) { act([this, index] { dialog_.OnPortSelected(index); }); });
    connect(connect_, &QPushButton::clicked, this, [this] {
        if (model().isEnabled(app::kIdConnect))
            act([this] { dialog_.OnConnect(); });
    });
    box->addWidget(ports_);
    box->addWidget(connect_);
    box->addStretch(1);
    return group;
}

QWidget* ConnectionDialog::makeStatusGroup() {
    auto* group = new QGroupBox("Status Information");
    auto* box = new QVBoxLayout(group);
    status_ = new QLabel;
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 4);
    box->addWidget(status_);
    return group;
}

QLayout* ConnectionDialog::makeButtons() {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    ok_ = new QPushButton;
    cancel_ = new QPushButton;
    ok_->setDefault(true);
    ok_->setMinimumWidth(88);
    cancel_->setMinimumWidth(88);
    connect(ok_, &QPushButton::clicked, this, [this] {
        if (model().isEnabled(app::kIdOk))
            act([this] { dialog_.OnOK(); });
    });
    connect(cancel_, &QPushButton::clicked, this, [this] { act([this] { dialog_.OnCancel(); }); });
    row->addWidget(ok_);
    row->addWidget(cancel_);
    return row;
}

void ConnectionDialog::render() {
    const app::DialogModel& m = model();
    setWindowTitle(QString::fromStdString(m.windowTitle));

    comPort_->setText(QString::fromStdString(m.caption(app::kIdRadioComPort)));
    cameraLink_->setText(QString::fromStdString(m.caption(app::kIdRadioCameraLink)));
    comPort_->setEnabled(m.isEnabled(app::kIdRadioComPort));
    cameraLink_->setEnabled(m.isEnabled(app::kIdRadioCameraLink));
    // Neither button may be checked, which an exclusive group does not allow.
    types_.setExclusive(false);
    comPort_->setChecked(m.isChecked(app::kIdRadioComPort));
    cameraLink_->setChecked(m.isChecked(app::kIdRadioCameraLink));
    types_.setExclusive(true);

    const app::Control& list = m.control(app::kIdPortList);
    QStringList items;
    for (const auto& item : list.items)
        items << withDevicePath(QString::fromStdString(item));
    QStringList shown;
    for (int i = 0; i < ports_->count(); ++i)
        shown << ports_->itemText(i);
    if (items != shown) {
        ports_->clear();
        ports_->addItems(items);
    }
    ports_->setCurrentIndex(list.selected);
    ports_->setEnabled(list.enabled);

    connect_->setText(QString::fromStdString(m.caption(app::kIdConnect)));
    connect_->setEnabled(m.isEnabled(app::kIdConnect));
    status_->setText(QString::fromStdString(m.caption(app::kIdConnectionStatus)));
    ok_->setText(QString::fromStdString(m.caption(app::kIdOk)));
    ok_->setEnabled(m.isEnabled(app::kIdOk));
    cancel_->setText(QString::fromStdString(m.caption(app::kIdCancel)));
    cancel_->setEnabled(m.isEnabled(app::kIdCancel));
}

// The about box sits where the window's system menu would offer it.
void ConnectionDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromStdString(app::kAboutMenuEntry));
    if (menu.exec(event->globalPos()) == about) {
        act([this] { dialog_.OnSysCommand(app::kIdAboutBox); });
    }
}

}  // namespace gui
