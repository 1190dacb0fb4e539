// The printer editor's window over the editor rules of the setup library.
#include "TfrmAddPrinter.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace zanth::setup::gui {

namespace {

QLabel* NamedLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  return label;
}

template <typename T>
T* Named(const char* name, QWidget* parent) {
  auto* widget = new T(parent);
  widget->setObjectName(name);
  return widget;
}

}  // namespace

TfrmAddPrinter::TfrmAddPrinter(SetupContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
  setObjectName("frmAddPrinter");
  setModal(true);
  lblPrinterDriver_ = NamedLabel("lblPrinterDriver", this);
  lblPrinterName_ = NamedLabel("lblPrinterName", this);
  lblLogicName_ = NamedLabel("lblLogicName", this);
  lblNotes_ = NamedLabel("lblNotes", this);
  cmbPrinterDriver_ = Named<QComboBox>("cmbPrinterDriver", this);
  txtPrinterName_ = Named<QLineEdit>("txtPrinterName", this);
  txtLogicName_ = Named<QLineEdit>("txtLogicName", this);
  txtNotes_ = Named<QLineEdit>("txtNotes", this);

  grbPortInf_ = Named<QGroupBox>("grbPortInf", this);
  lblPortType_ = NamedLabel("lblPortType", grbPortInf_);
  cmbPortType_ = Named<QComboBox>("cmbPortType", grbPortInf_);
  for (const std::wstring& type : PrinterPortTypes()) cmbPortType_->addItem(Q(type));
  ports_ = new QStackedWidget(grbPortInf_);

  // One panel per port type, in the order of the port-type list.
  auto* usb = new QWidget;
  lblUSBPort_ = NamedLabel("lblUSBPort", usb);
  (new QHBoxLayout(usb))->addWidget(lblUSBPort_);
  auto* com = new QWidget;
  lblCOMPort_ = NamedLabel("lblCOMPort", com);
  lblBaudRate_ = NamedLabel("lblBaudRate", com);
  cmbCOMPort_ = Named<QComboBox>("cmbCOMPort", com);
  cmbBaudRate_ = Named<QComboBox>("cmbBaudRate", com);
  for (const std::wstring& rate : BaudRates()) cmbBaudRate_->addItem(Q(rate));
  auto* comForm = new QFormLayout(com);
  comForm->addRow(lblCOMPort_, cmbCOMPort_);
  comForm->addRow(lblBaudRate_, cmbBaudRate_);
  auto* lpt = new QWidget;
  lblLPTPort_ = NamedLabel("lblLPTPort", lpt);
  cmbLPTPort_ = Named<QComboBox>("cmbLPTPort", lpt);
  (new QFormLayout(lpt))->addRow(lblLPTPort_, cmbLPTPort_);
  auto* tcp = new QWidget;
  lblIPAddress_ = NamedLabel("lblIPAddress", tcp);
  txtIP_ = Named<QLineEdit>("txtIP", tcp);
  txtIP_->setMaxLength(15);
  txtIP_->setPlaceholderText("192.168.1.100");
  (new QFormLayout(tcp))->addRow(lblIPAddress_, txtIP_);
  for (QWidget* panel : {usb, com, lpt, tcp}) {
    panel->layout()->setContentsMargins(0, 0, 0, 0);
    ports_->addWidget(panel);
  }
  auto* portForm = new QFormLayout(grbPortInf_);
  portForm->addRow(lblPortType_, cmbPortType_);
  portForm->addRow(ports_);

  btnOK_ = Named<QPushButton>("btnOK", this);
  btnCancel_ = Named<QPushButton>("btnCancel", this);
  btnOK_->setDefault(true);
  auto* form = new QFormLayout;
  form->addRow(lblPrinterDriver_, cmbPrinterDriver_);
  form->addRow(lblPrinterName_, txtPrinterName_);
  form->addRow(lblLogicName_, txtLogicName_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  auto* notes = new QFormLayout;
  notes->addRow(lblNotes_, txtNotes_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(grbPortInf_);
  layout->addLayout(notes);
  layout->addStretch();
  layout->addLayout(buttons);
  setMinimumWidth(420);

  connect(btnOK_, &QPushButton::clicked, this, &TfrmAddPrinter::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmAddPrinter::reject);
  connect(cmbPrinterDriver_, &QComboBox::currentIndexChanged, this, &TfrmAddPrinter::ModelChanged);
  connect(cmbPortType_, &QComboBox::currentIndexChanged, this, &TfrmAddPrinter::PortTypeChanged);

  // Create: USB port, empty notes and address, the brand's models, the texts.
  cmbPortType_->setCurrentIndex(0);
  ports_->setCurrentIndex(0);
  for (const std::wstring& model : ModelsOf(context_.Brand())) cmbPrinterDriver_->addItem(Q(model));
  SetLanguage();
}

void TfrmAddPrinter::SetLanguage() {
  lblPrinterDriver_->setText(context_.Text("FormAP_lblPrinterDriver"));
  lblPrinterName_->setText(context_.Text("FormAP_lblPrinterName"));
  lblLogicName_->setText(context_.Text("FormAP_lblLogicName"));
  grbPortInf_->setTitle(context_.Text("FormAP_grbPortInf"));
  lblPortType_->setText(context_.Text("FormAP_lblPortType"));
  lblNotes_->setText(context_.Text("FormAP_lblNotes"));
  lblCOMPort_->setText(context_.Text("FormAP_lblCOMPort"));
  lblBaudRate_->setText(context_.Text("FormAP_lblBaudRate"));
  lblLPTPort_->setText(context_.Text("FormAP_lblLPTPort"));
  lblIPAddress_->setText(context_.Text("FormAP_lblIPAddress"));
  lblUSBPort_->setText(context_.Text("FormAP_lblUSBPort"));
  btnOK_->setText(context_.Text("FormAP_btnOK"));
  btnCancel_->setText(context_.Text("FormAP_btnCancel"));
}

void TfrmAddPrinter::Prepare(EditMode mode) {
  mode_ = mode;
  saved_ = false;
  loading_ = true;
  const bool add = mode == EditMode::Add;
  setWindowTitle(context_.Text(add ? "FormAP_AddPrinter" : "FormAP_AddModifyPrinter"));
  cmbPrinterDriver_->setEnabled(add);
  txtLogicName_->setEnabled(add);
  PrinterEntry entry;
  if (add) {
    if (cmbPrinterDriver_->count() > 0) cmbPrinterDriver_->setCurrentIndex(0);
    entry = NewPrinterEntry(W(cmbPrinterDriver_->currentText()));
    entry.portType = W(cmbPortType_->currentText());
    entry.notes = W(txtNotes_->text());
    entry.ipAddress = W(txtIP_->text());
  } else {
    entry = LoadPrinterEntry(context_.selection.deviceName);
    // A model this build does not list is still shown as it is stored.
    if (cmbPrinterDriver_->findText(Q(entry.model)) < 0) cmbPrinterDriver_->addItem(Q(entry.model));
    cmbPrinterDriver_->setCurrentText(Q(entry.model));
    // An entry without a logical name gets one here, or it could not be saved.
    txtLogicName_->setEnabled(Trimmed(entry.logicalName).empty());
  }
  txtPrinterName_->setText(Q(entry.printerName));
  txtLogicName_->setText(Q(entry.logicalName));
  txtNotes_->setText(Q(entry.notes));
  txtIP_->setText(Q(entry.ipAddress));
  const int type = cmbPortType_->findText(Q(entry.portType));
  cmbPortType_->setCurrentIndex(type >= 0 ? type : 0);
  cmbBaudRate_->setCurrentText(Q(entry.baudRate.empty() ? kDefaultBaudRate : entry.baudRate));
  loading_ = false;
  PortTypeChanged();
  if (!add) {
    if (entry.portType == L"COM") FillPorts(cmbCOMPort_, L"COM", Q(entry.comPort));
    if (entry.portType == L"LPT") FillPorts(cmbLPTPort_, L"LPT", Q(entry.lptPort));
  }
}

void TfrmAddPrinter::ModelChanged() {
  if (loading_ || mode_ != EditMode::Add) return;
  const PrinterEntry entry = NewPrinterEntry(W(cmbPrinterDriver_->currentText()));
  txtPrinterName_->setText(Q(entry.printerName));
  txtLogicName_->setText(Q(entry.logicalName));
}

void TfrmAddPrinter::PortTypeChanged() {
  if (loading_) return;
  ports_->setCurrentIndex(std::max(0, cmbPortType_->currentIndex()));
  const QString type = cmbPortType_->currentText();
  if (type == "COM") FillPorts(cmbCOMPort_, L"COM", {});
  if (type == "LPT") FillPorts(cmbLPTPort_, L"LPT", {});
}

void TfrmAddPrinter::FillPorts(QComboBox* list, const wchar_t* kind, const QString& keep) {
  const PortList ports = ListPorts(kind);
  list->clear();
  for (const std::wstring& port : ports.ports) list->addItem(Q(port));
  // The stored port stays selectable even when its device is not present now.
  if (!keep.isEmpty() && list->findText(keep) < 0) list->addItem(keep);
  if (!keep.isEmpty()) {
    list->setCurrentText(keep);
    return;
  }
  if (list->count() > 0) list->setCurrentIndex(0);
  if (!ports.message.empty()) context_.Message(Q(ports.message));
}

PrinterEntry TfrmAddPrinter::Entry() const {
  PrinterEntry entry;
  entry.model = W(cmbPrinterDriver_->currentText());
  entry.printerName = W(txtPrinterName_->text());
  entry.logicalName = W(txtLogicName_->text());
  entry.portType = W(cmbPortType_->currentText());
  entry.comPort = W(cmbCOMPort_->currentText());
  entry.baudRate = W(cmbBaudRate_->currentText());
  entry.lptPort = W(cmbLPTPort_->currentText());
  entry.ipAddress = W(txtIP_->text());
  entry.notes = W(txtNotes_->text());
  return entry;
}

void TfrmAddPrinter::accept() {
  const Outcome outcome =
      SavePrinter(Entry(), mode_, context_.selection.deviceName, context_.Brand());
  if (!outcome.ok()) {
    context_.Message(context_.ErrorText(outcome, "FormAP_LogicNameErr", "FormALN_NullLogicName"));
    return;
  }
  saved_ = true;
  QDialog::accept();
}

}  // namespace zanth::setup::gui
