// The main window "OPOS Printer Setting": the device tree, the buttons that open the editors,
// deletion, the information line and the device test.
#pragma once

#include <QWidget>

#include <memory>

#include "SetupContext.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zanth::setup {
class DeviceTester;
}

namespace zanth::setup::gui {

class TfrmAddCashDrawer;
class TfrmAddPrinter;
class TfrmAddPrinterLogicName;

class TfrmDevice : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmDevice(SetupContext& context, QWidget* parent = nullptr);
  ~TfrmDevice() override;

  // Rebuilds the tree from the registry; reselect: the absolute index to select again, or -1.
  void RefreshTreeView(int reselect = -1);
  // Selects the node at the absolute index as a click would.
  void SelectNode(int index);
  const DeviceTree& Tree() const { return tree_; }
  // The last event the device under test reported, as shown below the information line.
  QString LastDeviceEvent() const;

  TfrmAddPrinter* PrinterEditor() const { return frmAddPrinter_; }
  TfrmAddPrinterLogicName* LogicalNameEditor() const { return frmAddPrinterLogicName_; }
  TfrmAddCashDrawer* DrawerEditor() const { return frmAddCashDrawer_; }

 signals:
  // The technician confirmed Quit.
  void quitRequested();
  // Emitted on the service object's event thread; connected queued, so the event thread never
  // waits for this window.
  void deviceEventReported(const QString& description);

 private:
  void SetLanguage();
  void DisableDeviceButtons();
  void tvwDeviceListClick();
  // Opens the printer or drawer editor for the selection's class; returns its saved flag.
  bool RunDeviceEditor(EditMode mode);
  void btnAddDeviceClick();
  void btnModifyDeviceClick();
  void btnAddLogicNameClick();
  void btnDeleteDeviceClick();
  void btnSelfTestClick();
  void btnQuitClick();
  void ShowDeviceEvent(const QString& description);
  int SelectedIndex() const;

  SetupContext& context_;
  DeviceTree tree_;
  MainLayout layout_;
  std::vector<QTreeWidgetItem*> items_;  // by absolute index
  std::unique_ptr<DeviceTester> tester_;
  QLabel *lblDeviceList_, *lblDeviceInf_, *lblDeviceEvent_;
  QTreeWidget* tvwDeviceList_;
  QLineEdit* txtDeviceInfo_;
  QPushButton *btnAddDevice_, *btnModifyDevice_, *btnDeleteDevice_, *btnAddLogicName_, *btnSelfTest_, *btnQuit_;
  TfrmAddPrinter* frmAddPrinter_;
  TfrmAddPrinterLogicName* frmAddPrinterLogicName_;
  TfrmAddCashDrawer* frmAddCashDrawer_;
};

}  // namespace zanth::setup::gui
