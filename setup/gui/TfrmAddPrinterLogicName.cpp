// The logical-name editor's window.
#include "TfrmAddPrinterLogicName.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zanth::setup::gui {

TfrmAddPrinterLogicName::TfrmAddPrinterLogicName(SetupContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
  setObjectName("frmAddPrinterLogicName");
  setModal(true);
  lblLogicName_ = new QLabel(this);
  lblLogicName_->setObjectName("lblLogicName");
  txtLogicName_ = new QLineEdit(this);
  txtLogicName_->setObjectName("txtLogicName");
  btnOK_ = new QPushButton(this);
  btnOK_->setObjectName("btnOK");
  btnOK_->setDefault(true);
  btnCancel_ = new QPushButton(this);
  btnCancel_->setObjectName("btnCancel");
  auto* field = new QHBoxLayout;
  field->addWidget(lblLogicName_);
  field->addWidget(txtLogicName_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK_);
  buttons->addWidget(btnCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(field);
  layout->addStretch();
  layout->addLayout(buttons);
  setMinimumWidth(360);
  lblLogicName_->setText(context_.Text("FormALN_lblLogicName"));
  btnOK_->setText(context_.Text("FormALN_btnOK"));
  btnCancel_->setText(context_.Text("FormALN_btnCancel"));
  connect(btnOK_, &QPushButton::clicked, this, &TfrmAddPrinterLogicName::accept);
  connect(btnCancel_, &QPushButton::clicked, this, &TfrmAddPrinterLogicName::reject);
}

void TfrmAddPrinterLogicName::Prepare(EditMode mode, const QString& name) {
  mode_ = mode;
  oldName_ = name;
  saved_ = false;
  txtLogicName_->setText(name);
  setWindowTitle(context_.Text(mode == EditMode::Modify ? "FormALN_PrinterLogicName_Modify"
                                                        : "FormALN_PrinterLogicName_Add"));
}

void TfrmAddPrinterLogicName::accept() {
  const Selection& s = context_.selection;
  const Outcome outcome = SaveLogicalName(s.kind, s.deviceName, W(txtLogicName_->text()), mode_, W(oldName_));
  if (!outcome.ok()) {
    context_.Message(context_.ErrorText(outcome, "FormALN_LogicNameExist", "FormALN_NullLogicName"));
    return;
  }
  saved_ = true;
  QDialog::accept();
}

}  // namespace zanth::setup::gui
