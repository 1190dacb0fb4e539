// The printer editor: model, name, logical name, port and notes of a printer entry, in Add or
// Modify mode. Modal; reports through Saved() whether the registry changed.
#pragma once

#include <QDialog>

#include "SetupContext.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace zanth::setup::gui {

class TfrmAddPrinter : public QDialog {
  Q_OBJECT
 public:
  TfrmAddPrinter(SetupContext& context, QWidget* parent = nullptr);

  // Fills the fields for the mode; Modify reads the entry the context's selection names.
  void Prepare(EditMode mode);
  bool Saved() const { return saved_; }
  // The fields as an entry (what OK would save).
  PrinterEntry Entry() const;

 public slots:
  void accept() override;  // OK: check and save; stays open on refusal or failure

 private:
  void SetLanguage();
  void ModelChanged();
  void PortTypeChanged();
  void FillPorts(QComboBox* list, const wchar_t* kind, const QString& keep);

  SetupContext& context_;
  EditMode mode_ = EditMode::Add;
  bool saved_ = false;
  bool loading_ = false;
  QLabel *lblPrinterDriver_, *lblPrinterName_, *lblLogicName_, *lblPortType_, *lblNotes_;
  QLabel *lblCOMPort_, *lblBaudRate_, *lblLPTPort_, *lblIPAddress_, *lblUSBPort_;
  QComboBox *cmbPrinterDriver_, *cmbPortType_, *cmbCOMPort_, *cmbBaudRate_, *cmbLPTPort_;
  QLineEdit *txtPrinterName_, *txtLogicName_, *txtIP_, *txtNotes_;
  QGroupBox* grbPortInf_;
  QStackedWidget* ports_;
  QPushButton *btnOK_, *btnCancel_;
};

}  // namespace zanth::setup::gui
