// The main window over the device tree and button rules of the setup library.
#include "TfrmDevice.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "DeviceTester.h"
#include "NodeIcons.h"
#include "TfrmAddCashDrawer.h"
#include "TfrmAddPrinter.h"
#include "TfrmAddPrinterLogicName.h"
#include "platform/msgbox.h"

namespace zanth::setup::gui {

namespace {

QPushButton* Button(const char* name, QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setMinimumWidth(150);
  return button;
}

}  // namespace

TfrmDevice::TfrmDevice(SetupContext& context, QWidget* parent) : QWidget(parent), context_(context) {
  setObjectName("frmDevice");
  lblDeviceList_ = new QLabel(this);
  lblDeviceList_->setObjectName("lblDeviceList");
  tvwDeviceList_ = new QTreeWidget(this);
  tvwDeviceList_->setObjectName("tvwDeviceList");
  tvwDeviceList_->setHeaderHidden(true);
  tvwDeviceList_->setIconSize(QSize(20, 20));
  tvwDeviceList_->header()->setStretchLastSection(true);
  lblDeviceInf_ = new QLabel(this);
  lblDeviceInf_->setObjectName("lblDeviceInf");
  txtDeviceInfo_ = new QLineEdit(this);
  txtDeviceInfo_->setObjectName("txtDeviceInfo");
  txtDeviceInfo_->setReadOnly(true);
  lblDeviceEvent_ = new QLabel(this);
  lblDeviceEvent_->setObjectName("lblDeviceEvent");
  lblDeviceEvent_->setVisible(false);
  btnAddDevice_ = Button("btnAddDevice", this);
  btnModifyDevice_ = Button("btnModifyDevice", this);
  btnDeleteDevice_ = Button("btnDeleteDevice", this);
  btnAddLogicName_ = Button("btnAddLogicName", this);
  btnSelfTest_ = Button("btnSelfTest", this);
  btnQuit_ = Button("btnQuit", this);

  auto* left = new QVBoxLayout;
  left->addWidget(lblDeviceList_);
  left->addWidget(tvwDeviceList_, 1);
  auto* right = new QVBoxLayout;
  right->addSpacing(lblDeviceList_->sizeHint().height() + left->spacing());
  for (QPushButton* b : {btnAddDevice_, btnModifyDevice_, btnDeleteDevice_, btnAddLogicName_, btnSelfTest_})
    right->addWidget(b);
  right->addStretch();
  right->addWidget(btnQuit_);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addLayout(right);
  auto* info = new QHBoxLayout;
  info->addWidget(lblDeviceInf_);
  info->addWidget(txtDeviceInfo_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(info);
  layout->addWidget(lblDeviceEvent_);
  resize(620, 440);

  // The four windows are made at start: this one, then the three editors.
  frmAddPrinter_ = new TfrmAddPrinter(context_, this);
  frmAddPrinterLogicName_ = new TfrmAddPrinterLogicName(context_, this);
  frmAddCashDrawer_ = new TfrmAddCashDrawer(context_, this);
  connect(this, &TfrmDevice::deviceEventReported, this, &TfrmDevice::ShowDeviceEvent, Qt::QueuedConnection);
  tester_ = std::make_unique<DeviceTester>(W(context_.Text("_MSG_Title")), [this](const std::wstring& description) {
    emit deviceEventReported(QString::fromStdWString(description));
  });

  connect(tvwDeviceList_, &QTreeWidget::itemClicked, this, [this] { tvwDeviceListClick(); });
  connect(tvwDeviceList_, &QTreeWidget::currentItemChanged, this, [this] { tvwDeviceListClick(); });
  connect(btnAddDevice_, &QPushButton::clicked, this, &TfrmDevice::btnAddDeviceClick);
  connect(btnModifyDevice_, &QPushButton::clicked, this, &TfrmDevice::btnModifyDeviceClick);
  connect(btnDeleteDevice_, &QPushButton::clicked, this, &TfrmDevice::btnDeleteDeviceClick);
  connect(btnAddLogicName_, &QPushButton::clicked, this, &TfrmDevice::btnAddLogicNameClick);
  connect(btnSelfTest_, &QPushButton::clicked, this, &TfrmDevice::btnSelfTestClick);
  connect(btnQuit_, &QPushButton::clicked, this, &TfrmDevice::btnQuitClick);

  // FormCreate: texts, the printer captions on the device buttons, the tree.
  SetLanguage();
  btnAddDevice_->setText(context_.Text("FormD_AddPrinter"));
  btnModifyDevice_->setText(context_.Text("FormD_ModifyPrinter"));
  btnDeleteDevice_->setText(context_.Text("FormD_DeletePrinter"));
  btnAddLogicName_->setText(context_.Text("FormD_AddLogicName"));
  btnSelfTest_->setText(context_.Text("FormD_btnSelfTest1"));
  RefreshTreeView();
}

TfrmDevice::~TfrmDevice() {
  // The tester's control objects close here, while the window can still take their events.
  tester_.reset();
}

QString TfrmDevice::LastDeviceEvent() const { return lblDeviceEvent_->property("event").toString(); }

void TfrmDevice::ShowDeviceEvent(const QString& description) {
  lblDeviceEvent_->setProperty("event", description);
  lblDeviceEvent_->setText(context_.Text("FormD_lblDeviceEvent") + " " + description);
  lblDeviceEvent_->setVisible(true);
}

void TfrmDevice::SetLanguage() {
  setWindowTitle(context_.Text("FormD_frmDevice"));
  lblDeviceList_->setText(context_.Text("FormD_lblDeviceList"));
  lblDeviceInf_->setText(context_.Text("FormD_lblDeviceInf"));
  btnQuit_->setText(context_.Text("FormD_btnQuit"));
  // Loaded with the others; nothing shows them.
  context_.Text("FormD_MSG_ImportPN");
  context_.Text("FormD_MSG_ImportPort");
}

void TfrmDevice::DisableDeviceButtons() {
  // Nothing selected: nothing to act on (as at FormShow).
  for (QPushButton* b : {btnAddDevice_, btnModifyDevice_, btnDeleteDevice_, btnAddLogicName_}) b->setEnabled(false);
  btnSelfTest_->setVisible(false);
  txtDeviceInfo_->clear();
  context_.selection = Selection();
}

void TfrmDevice::RefreshTreeView(int reselect) {
  const QSignalBlocker block(tvwDeviceList_);
  tvwDeviceList_->clear();
  items_.clear();
  tree_ = BuildDeviceTree();
  for (const TreeNode& node : tree_.nodes) {
    QTreeWidgetItem* item = node.parent < 0 ? new QTreeWidgetItem(tvwDeviceList_)
                                            : new QTreeWidgetItem(items_[node.parent]);
    item->setText(0, Q(node.text));
    item->setIcon(0, NodeIcon(node.image));
    item->setData(0, Qt::UserRole, static_cast<int>(items_.size()));
    items_.push_back(item);
  }
  // Class nodes fully open (every node below them too), the root one level.
  for (size_t i = 1; i < tree_.nodes.size(); ++i) items_[i]->setExpanded(true);
  if (!items_.empty()) items_[0]->setExpanded(true);
  if (reselect >= 0 && reselect < static_cast<int>(items_.size())) {
    SelectNode(reselect);
  } else {
    tvwDeviceList_->setCurrentItem(nullptr);
    DisableDeviceButtons();
  }
}

void TfrmDevice::SelectNode(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  {
    const QSignalBlocker block(tvwDeviceList_);
    tvwDeviceList_->setCurrentItem(items_[index]);
  }
  tvwDeviceListClick();
}

int TfrmDevice::SelectedIndex() const {
  const QTreeWidgetItem* item = tvwDeviceList_->currentItem();
  return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void TfrmDevice::tvwDeviceListClick() {
  const int index = SelectedIndex();
  if (index < 0) return;
  context_.selection = SelectionOf(tree_, index);
  layout_ = LayoutFor(tree_, index, context_.OwnProgId());
  auto apply = [this](QPushButton* button, const ButtonState& state) {
    button->setVisible(state.visible);
    button->setEnabled(state.enabled);
    button->setText(context_.Text(state.captionKey.c_str()));
  };
  apply(btnAddDevice_, layout_.add);
  apply(btnModifyDevice_, layout_.modify);
  apply(btnDeleteDevice_, layout_.remove);
  apply(btnAddLogicName_, layout_.logicalName);
  apply(btnSelfTest_, layout_.test);
  txtDeviceInfo_->setText(layout_.infoIsUnsupported ? context_.Text("FormD_TIP_Unsupport") : Q(layout_.info));
}

bool TfrmDevice::RunDeviceEditor(EditMode mode) {
  if (context_.selection.kind == DeviceKind::Printer) {
    frmAddPrinter_->Prepare(mode);
    frmAddPrinter_->exec();
    return frmAddPrinter_->Saved();
  }
  frmAddCashDrawer_->Prepare(mode);
  frmAddCashDrawer_->exec();
  return frmAddCashDrawer_->Saved();
}

void TfrmDevice::btnAddDeviceClick() {
  if (context_.selection.mode == NodeMode::None) return;
  if (RunDeviceEditor(EditMode::Add)) RefreshTreeView();
}

void TfrmDevice::btnModifyDeviceClick() {
  const Selection& s = context_.selection;
  // Only a device node can be modified; class nodes keep the button hidden.
  if (s.mode != NodeMode::POSPrinter && s.mode != NodeMode::CashDrawer) return;
  const int index = SelectedIndex();
  if (RunDeviceEditor(EditMode::Modify)) RefreshTreeView(index);
}

void TfrmDevice::btnAddLogicNameClick() {
  const Selection& s = context_.selection;
  if (s.mode != NodeMode::POSPrinter && s.mode != NodeMode::CashDrawer && s.mode != NodeMode::LogicName) return;
  const int index = SelectedIndex();
  const bool modify = layout_.logicalNameModifies;
  frmAddPrinterLogicName_->Prepare(modify ? EditMode::Modify : EditMode::Add,
                                   modify ? Q(s.logicalName) : QString());
  frmAddPrinterLogicName_->exec();
  if (frmAddPrinterLogicName_->Saved()) RefreshTreeView(index);
}

void TfrmDevice::btnDeleteDeviceClick() {
  const Selection s = context_.selection;
  if (s.mode != NodeMode::POSPrinter && s.mode != NodeMode::CashDrawer && s.mode != NodeMode::LogicName) return;
  const int index = SelectedIndex();
  const QString question = Q(DeleteConfirmationText(W(context_.Text("FormD_MSG_DeleteNode")), W(items_[index]->text(0))));
  if (context_.Message(question, MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST) != IDOK) return;
  const Outcome outcome = DeleteSelected(s);
  if (outcome.error == SetupError::LastLogicalName) {
    context_.Message(context_.ErrorText(outcome, "", ""));
    return;
  }
  if (!outcome.ok()) {
    const QString text = outcome.error == SetupError::RegistryFailure
                             ? context_.Text("_MSG_DeleteFailed") + "\n" + Q(outcome.reason)
                             : context_.ErrorText(outcome, "", "");
    context_.Message(text);
  }
  RefreshTreeView();
}

void TfrmDevice::btnSelfTestClick() {
  const Selection s = context_.selection;
  if (s.mode != NodeMode::POSPrinter && s.mode != NodeMode::CashDrawer) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  btnSelfTest_->setEnabled(false);
  if (s.kind == DeviceKind::Printer)
    tester_->TestPrinter(s.deviceName);
  else
    tester_->TestDrawer(s.deviceName);
  btnSelfTest_->setEnabled(layout_.test.enabled);
  QApplication::restoreOverrideCursor();
}

void TfrmDevice::btnQuitClick() {
  if (context_.Message(context_.Text("FormD_MSG_Quit"), MB_OKCANCEL | MB_ICONQUESTION) == IDOK) emit quitRequested();
}

}  // namespace zanth::setup::gui
