// The cash-drawer editor's window over the editor rules of the setup library.
#include "TfrmAddCashDrawer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace zanth::setup::gui {

namespace {

template <typename T>
T* Named(const char* name, QWidget* parent) {
  auto* widget = new T(parent);
  widget->setObjectName(name);
  return widget;
}

// Pulse times are one byte of the drawer kick command: digits only, 0..255.
class PulseValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    if (input.isEmpty()) return Intermediate;
    bool ok = false;
    const int value = input.toInt(&ok);
    for (QChar c : input)
      if (!c.isDigit()) return Invalid;
    return ok && value <= 255 && input.size() <= 3 ? Acceptable : Invalid;
  }
};

}  // namespace

TfrmAddCashDrawer::TfrmAddCashDrawer(SetupContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
  setObjectName("frmAddCashDrawer");
  setModal(true);
  lblPrinterName_ = Named<QLabel>("lblPrinterName", this);
  lblCashDrawerName_ = Named<QLabel>("lblCashDrawerName", this);
  lblLogicName_ = Named<QLabel>("lblLogicName", this);
  lblWaitTimeOut_ = Named<QLabel>("lblWaitTimeOut", this);
  cmbPrinterName_ = Named<QComboBox>("cmbPrinterName", this);
  txtCashDrawerName_ = Named<QLineEdit>("txtCashDrawerName", this);
  txtCashDrawerName_->setReadOnly(true);
  txtLogicName_ = Named<QLineEdit>("txtLogicName", this);
  txtWaitTimeOut_ = Named<QLineEdit>("txtWaitTimeOut", this);
  txtWaitTimeOut_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,10}"), this));

  optConnectCashDrawer_ = Named<QGroupBox>("optConnectCashDrawer", this);
  chkCashDrawer1_ = Named<QCheckBox>("chkCashDrawer1", optConnectCashDrawer_);
  chkCashDrawer2_ = Named<QCheckBox>("chkCashDrawer2", optConnectCashDrawer_);
  auto* drawers = new QHBoxLayout(optConnectCashDrawer_);
  drawers->addWidget(chkCashDrawer1_);
  drawers->addWidget(chkCashDrawer2_);

  optPulseInterval_ = Named<QGroupBox>("optPulseInterval", this);
  lblHigh_ = Named<QLabel>("lblHigh", optPulseInterval_);
  lblLow_ = Named<QLabel>("lblLow", optPulseInterval_);
  txtHigh_ = Named<QLineEdit>("txtHigh", optPulseInterval_);
  txtLow_ = Named<QLineEdit>("txtLow", optPulseInterval_);
  for (QLineEdit* pulse : {txtHigh_, txtLow_}) {
    pulse->setValidator(new PulseValidator(pulse));
    pulse->setMaximumWidth(80);
  }
  auto* pulses = new QHBoxLayout(optPulseInterval_);
  pulses->addWidget(lblHigh_);
  pulses->addWidget(txtHigh_);
  pulses->addSpacing(12);
  pulses->addWidget(lblLow_);
  pulses->addWidget(txtLow_);
  pulses->addStretch();

  optStatus_ = Named<QGroupBox>("optStatus", this);
  optStatus0_ = Named<QRadioButton>("optStatus0", optStatus_);
  optStatus1_ = Named<QRadioButton>("optStatus1", optStatus_);
  auto* status = new QVBoxLayout(optStatus_);
  status->addWidget(optStatus0_);
  status->addWidget(optStatus1_);
  optVoltage_ = Named<QGroupBox>("optVoltage", this);
  optVoltageHigh_ = Named<QRadioButton>("optVoltageHigh", optVoltage_);
  optVoltageLow_ = Named<QRadioButton>("optVoltageLow", optVoltage_);
  auto* voltage = new QVBoxLayout(optVoltage_);
  voltage->addWidget(optVoltageHigh_);
  voltage->addWidget(optVoltageLow_);

  btnOK_ = Named<QPushButton>("btnOK", this);
  btnOK_->setDefault(true);
  btnCancel_ = Named<QPushButton>("btnCancel", this);

  auto* form = new QFormLayout;
  form->addRow(lblPrinterName_, cmbPrinterName_);
  form->addRow(lblCashDrawerName_, txtCashDrawerName_);
  form->addRow(lblLogicName_, txtLogicName_);
  auto* groups = new QGridLayout;
  groups->addWidget(optConnectCashDrawer_, 0, 0);
  groups->addWidget(optPulseInterval_, 0, 1);
  groups->addWidget(optStatus_, 1, 0);
  groups->addWidget(optVoltage_, 1, 1);
  auto* wait = new QFormLayout;
  wait->addRow(lblWaitTimeOut_, txtWaitTimeOut_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(groups);
  layout->addLayout(wait);
  layout->addStretch();
  layout->addLayout(buttons);
  setMinimumWidth(480);

  connect(btnOK_, &QPushButton::clicked, this, &TfrmAddCashDrawer::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmAddCashDrawer::reject);
  connect(cmbPrinterName_, &QComboBox::currentIndexChanged, this, &TfrmAddCashDrawer::PrinterChanged);
  // The logical name follows the generated drawer name.
  connect(txtCashDrawerName_, &QLineEdit::textChanged, this, [this](const QString& name) {
    if (mode_ == EditMode::Add) txtLogicName_->setText(name);
  });
  SetLanguage();
}

void TfrmAddCashDrawer::SetLanguage() {
  lblPrinterName_->setText(context_.Text("FormACD_lblPrinterName"));
  lblCashDrawerName_->setText(context_.Text("FormACD_lblCashDrawerName"));
  lblLogicName_->setText(context_.Text("FormACD_lblLogicName"));
  optConnectCashDrawer_->setTitle(context_.Text("FormACD_optConnectCashDrawer"));
  chkCashDrawer1_->setText(context_.Text("FormACD_CashDrawerNO0"));
  chkCashDrawer2_->setText(context_.Text("FormACD_CashDrawerNO1"));
  optPulseInterval_->setTitle(context_.Text("FormACD_optPulseInterval"));
  lblHigh_->setText(context_.Text("FormACD_PulseItem0"));
  lblLow_->setText(context_.Text("FormACD_PulseItem1"));
  optStatus_->setTitle(context_.Text("FormACD_optStatus"));
  optStatus0_->setText(context_.Text("FormACD_StatusItem0"));
  optStatus1_->setText(context_.Text("FormACD_StatusItem1"));
  optVoltage_->setTitle(context_.Text("FormACD_optVoltage"));
  optVoltageHigh_->setText(context_.Text("FormACD_VoltageItem0"));
  optVoltageLow_->setText(context_.Text("FormACD_VoltageItem1"));
  lblWaitTimeOut_->setText(context_.Text("FormACD_lblWaitTimeOut"));
  btnOK_->setText(context_.Text("FormACD_btnOK"));
  btnCancel_->setText(context_.Text("FormACD_btnCancel"));
}

void TfrmAddCashDrawer::Prepare(EditMode mode) {
  mode_ = mode;
  saved_ = false;
  loading_ = true;
  cmbPrinterName_->clear();
  for (const std::wstring& printer : DrawerPrinterChoices(context_.Brand(), context_.OwnProgId()))
    cmbPrinterName_->addItem(Q(printer));
  const bool add = mode == EditMode::Add;
  setWindowTitle(context_.Text(add ? "FormACD_CashDrawer_Add" : "FormACD_CashDrawer_Modify"));
  DrawerEntry entry;
  if (add) {
    entry = NewDrawerEntry(W(cmbPrinterName_->currentText()));
  } else {
    entry = LoadDrawerEntry(context_.selection.deviceName);
    if (cmbPrinterName_->findText(Q(entry.printerName)) < 0) cmbPrinterName_->addItem(Q(entry.printerName));
    cmbPrinterName_->setCurrentText(Q(entry.printerName));
  }
  // Modify hides the logical name, unless the entry has none and needs one to be saved.
  const bool showLogical = add || Trimmed(entry.logicalName).empty();
  lblLogicName_->setVisible(showLogical);
  txtLogicName_->setVisible(showLogical);
  txtLogicName_->setEnabled(showLogical);
  txtCashDrawerName_->setText(Q(entry.drawerName));
  txtLogicName_->setText(Q(entry.logicalName));
  chkCashDrawer1_->setChecked(entry.drawer1);
  chkCashDrawer2_->setChecked(entry.drawer2);
  txtHigh_->setText(Q(entry.pulseHigh));
  txtLow_->setText(Q(entry.pulseLow));
  (entry.queryStatus ? optStatus0_ : optStatus1_)->setChecked(true);
  (entry.openVoltageHigh ? optVoltageHigh_ : optVoltageLow_)->setChecked(true);
  txtWaitTimeOut_->setText(Q(entry.waitTimeout));
  loading_ = false;
}

void TfrmAddCashDrawer::PrinterChanged() {
  if (loading_ || mode_ != EditMode::Add) return;
  txtCashDrawerName_->setText(Q(NewDrawerEntry(W(cmbPrinterName_->currentText())).drawerName));
}

DrawerEntry TfrmAddCashDrawer::Entry() const {
  DrawerEntry entry;
  entry.printerName = W(cmbPrinterName_->currentText());
  entry.drawerName = W(txtCashDrawerName_->text());
  entry.logicalName = W(txtLogicName_->text());
  entry.drawer1 = chkCashDrawer1_->isChecked();
  entry.drawer2 = chkCashDrawer2_->isChecked();
  entry.pulseHigh = W(txtHigh_->text());
  entry.pulseLow = W(txtLow_->text());
  entry.queryStatus = optStatus0_->isChecked();
  entry.openVoltageHigh = optVoltageHigh_->isChecked();
  entry.waitTimeout = W(txtWaitTimeOut_->text());
  return entry;
}

void TfrmAddCashDrawer::accept() {
  const Outcome outcome =
      SaveDrawer(Entry(), mode_, context_.selection.deviceName, context_.Brand());
  if (!outcome.ok()) {
    context_.Message(context_.ErrorText(outcome, "FormACD_LogicNameExist", "FormALN_NullLogicName"));
    return;
  }
  saved_ = true;
  QDialog::accept();
}

}  // namespace zanth::setup::gui
