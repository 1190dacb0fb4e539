// The logical-name editor: adds a logical name to the selected device, or renames the selected
// logical name. Modal; Saved() tells whether the registry changed.
#pragma once

#include <QDialog>

#include "SetupContext.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace zanth::setup::gui {

class TfrmAddPrinterLogicName : public QDialog {
  Q_OBJECT
 public:
  TfrmAddPrinterLogicName(SetupContext& context, QWidget* parent = nullptr);

  // name: the logical name being modified (empty when adding).
  void Prepare(EditMode mode, const QString& name);
  bool Saved() const { return saved_; }

 public slots:
  void accept() override;

 private:
  SetupContext& context_;
  EditMode mode_ = EditMode::Add;
  QString oldName_;
  bool saved_ = false;
  QLabel* lblLogicName_;
  QLineEdit* txtLogicName_;
  QPushButton *btnOK_, *btnCancel_;
};

}  // namespace zanth::setup::gui
