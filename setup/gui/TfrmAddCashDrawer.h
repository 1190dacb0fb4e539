// The cash-drawer editor: the printer a drawer hangs on, its generated name, logical name,
// connected drawers, pulse times, status query, open voltage and close-wait time-out, in Add
// or Modify mode. Modal; Saved() tells whether the registry changed.
#pragma once

#include <QDialog>

#include "SetupContext.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zanth::setup::gui {

class TfrmAddCashDrawer : public QDialog {
  Q_OBJECT
 public:
  TfrmAddCashDrawer(SetupContext& context, QWidget* parent = nullptr);

  void Prepare(EditMode mode);
  bool Saved() const { return saved_; }
  DrawerEntry Entry() const;

 public slots:
  void accept() override;

 private:
  void SetLanguage();
  void PrinterChanged();

  SetupContext& context_;
  EditMode mode_ = EditMode::Add;
  bool saved_ = false;
  bool loading_ = false;
  QLabel *lblPrinterName_, *lblCashDrawerName_, *lblLogicName_, *lblWaitTimeOut_, *lblHigh_, *lblLow_;
  QComboBox* cmbPrinterName_;
  QLineEdit *txtCashDrawerName_, *txtLogicName_, *txtHigh_, *txtLow_, *txtWaitTimeOut_;
  QGroupBox *optConnectCashDrawer_, *optPulseInterval_, *optStatus_, *optVoltage_;
  QCheckBox *chkCashDrawer1_, *chkCashDrawer2_;
  QRadioButton *optStatus0_, *optStatus1_, *optVoltageHigh_, *optVoltageLow_;
  QPushButton *btnOK_, *btnCancel_;
};

}  // namespace zanth::setup::gui
