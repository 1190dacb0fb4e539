// The setup tool's windows under the offscreen platform: the tree and its buttons, each editor
// in both modes, refusals and failed writes, deletion, the device test against the virtual
// printer, and the message-box handler. Screenshots go to <build>/setup-screenshots.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "MessageBoxBridge.h"
#include "SetupContext.h"
#include "TfrmAddCashDrawer.h"
#include "TfrmAddPrinter.h"
#include "TfrmAddPrinterLogicName.h"
#include "TfrmDevice.h"
#include "platform/msgbox.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/LoopbackPrinter.h"
#include "support/TempRegistry.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace zanth::test {
namespace {

using setup::DeviceKind;
using setup::gui::Q;
using setup::gui::W;

std::string FromEnv(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

void Screenshot(QWidget* widget, const char* name) {
  const QString folder = QString::fromStdString(FromEnv("ZANTH_BUILD_DIR", ".")) + "/setup-screenshots";
  QDir().mkpath(folder);
  EXPECT_TRUE(widget->grab().save(folder + "/" + name + ".png")) << name;
}

// Answers the modal windows that appear: message boxes (recorded, answered from a queue or by
// their default button) and editors (each handler runs once, on the editor's first appearance).
class ModalDriver {
 public:
  ModalDriver() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(20);
  }
  std::vector<QString> boxes;  // texts of the message boxes answered
  std::deque<QMessageBox::StandardButton> answers;
  std::map<QString, std::function<void(QWidget*)>> editors;  // by object name
  // A box whose text this holds for stays up (the GUI thread goes on taking events).
  std::function<bool(const QString& text)> holdWhile;

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box == lastBox_) return;
      if (holdWhile && holdWhile(box->text())) return;
      lastBox_ = box;
      boxes.push_back(box->text());
      QAbstractButton* button = box->defaultButton();
      if (!answers.empty()) {
        button = box->button(answers.front());
        answers.pop_front();
      }
      QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
      return;
    }
    const auto handler = editors.find(modal->objectName());
    if (handler == editors.end()) return;
    // Run outside the timer's slot: a timer does not fire again while its slot runs, and the
    // handler's refusals open nested message boxes this timer must answer.
    QMetaObject::invokeMethod(
        modal, [run = std::move(handler->second), modal] { run(modal); }, Qt::QueuedConnection);
    editors.erase(handler);
  }
  QTimer timer_;
  QPointer<QMessageBox> lastBox_;
};

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// The refusal's message box was answered and the editor is the modal window again.
bool BackTo(QWidget* editor) {
  return QTest::qWaitFor([&] { return QApplication::activeModalWidget() == editor; }, 5000);
}

void Click(QWidget* parent, const char* button) { QTest::mouseClick(Child<QPushButton>(parent, button), Qt::LeftButton); }

class SetupWindow : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(setup::SavePrinter(TcpPrinter(L"ZQ-1A", L"10.0.0.1"), setup::EditMode::Add, L"", L"Zanth").ok());
    setup::PrinterEntry second = setup::NewPrinterEntry(L"ZQ-2A");
    second.logicalName = L"Kitchen";
    ASSERT_TRUE(setup::SavePrinter(second, setup::EditMode::Add, L"", L"Zanth").ok());
    ASSERT_TRUE(setup::WriteString(setup::ClassKeyPath(DeviceKind::Printer), L"Bar", L"ZQ-2A_01").ok());
    setup::DrawerEntry drawer = setup::NewDrawerEntry(L"ZQ-1A_01");
    drawer.logicalName = L"Till";
    ASSERT_TRUE(setup::SaveDrawer(drawer, setup::EditMode::Add, L"", L"Zanth").ok());
    ASSERT_TRUE(setup::WriteString(setup::DeviceKeyPath(DeviceKind::Printer, L"KR-11_01"), L"", L"BrekkOposPrinterU1.13").ok());
    Open();
  }
  void Open() {
    window_.reset();
    context_ = std::make_unique<setup::gui::SetupContext>(ZANTH_LANGUAGE_INI);
    window_ = std::make_unique<setup::gui::TfrmDevice>(*context_);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  static setup::PrinterEntry TcpPrinter(const std::wstring& model, const std::wstring& address) {
    setup::PrinterEntry entry = setup::NewPrinterEntry(model);
    entry.portType = L"TCP/IP";
    entry.ipAddress = address;
    return entry;
  }
  QTreeWidget* Tree() { return Child<QTreeWidget>(window_.get(), "tvwDeviceList"); }
  // Clicks the first node with the text (device nodes before a drawer's logical name).
  int ClickNode(const QString& text, int skip = 0) {
    for (QTreeWidgetItemIterator it(Tree()); *it; ++it) {
      if ((*it)->text(0) != text || skip-- > 0) continue;
      Tree()->scrollToItem(*it);
      QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, Tree()->visualItemRect(*it).center());
      return (*it)->data(0, Qt::UserRole).toInt();
    }
    ADD_FAILURE() << "no node " << text.toStdString();
    return -1;
  }
  QString Info() { return Child<QLineEdit>(window_.get(), "txtDeviceInfo")->text(); }
  QString Text(const char* key) { return context_->Text(key); }
  std::vector<QString> NodeTexts() {
    std::vector<QString> texts;
    for (QTreeWidgetItemIterator it(Tree()); *it; ++it) texts.push_back((*it)->text(0));
    return texts;
  }
  // Waits until the modal handlers ran and no modal window is left.
  void Settle() {
    EXPECT_TRUE(QTest::qWaitFor([&] { return driver_.editors.empty() && !QApplication::activeModalWidget(); }, 10000));
  }

  TempRegistry registry_;
  setup::gui::MessageBoxBridge bridge_;
  ModalDriver driver_;
  std::unique_ptr<setup::gui::SetupContext> context_;
  std::unique_ptr<setup::gui::TfrmDevice> window_;
};

TEST_F(SetupWindow, TreeButtonsAndInformationLine) {
  EXPECT_EQ(window_->windowTitle(), "OPOS Printer Setting");
  EXPECT_EQ(NodeTexts(), (std::vector<QString>{"Device", "CashDrawer", "ZQ-1A_01_01", "Till", "POSPrinter", "KR-11_01",
                                               "ZQ-1A_01", "ZQ-1A_01", "ZQ-2A_01", "Kitchen", "Bar"}));
  for (QTreeWidgetItemIterator it(Tree()); *it; ++it) EXPECT_FALSE((*it)->icon(0).isNull());
  const struct {
    QString node;
    int skip;
    std::map<std::string, bool> shown;  // visible buttons and whether enabled
    QString modifyCaption, info;
  } cases[] = {
      {"ZQ-1A_01", 0, {{"btnModifyDevice", true}, {"btnDeleteDevice", true}, {"btnAddLogicName", true}, {"btnSelfTest", true}},
       "Modify Printer...", "TCP/IP | ZQ-1A_01"},
      {"ZQ-1A_01_01", 0, {{"btnModifyDevice", true}, {"btnDeleteDevice", true}, {"btnAddLogicName", true}, {"btnSelfTest", true}},
       "Modify Cash Drawer...", "ZQ-1A_01_01"},
      {"POSPrinter", 0, {{"btnAddDevice", true}}, "Modify Printer...", ""},
      {"Kitchen", 0, {{"btnDeleteDevice", true}, {"btnAddLogicName", true}}, "Modify Printer...", ""},
      {"KR-11_01", 0, {{"btnModifyDevice", false}, {"btnDeleteDevice", false}, {"btnAddLogicName", false}, {"btnSelfTest", false}},
       "Modify Printer...", Text("FormD_TIP_Unsupport")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.node.toStdString());
    ClickNode(c.node, c.skip);
    for (const char* name : {"btnAddDevice", "btnModifyDevice", "btnDeleteDevice", "btnAddLogicName", "btnSelfTest"}) {
      SCOPED_TRACE(name);
      QPushButton* button = Child<QPushButton>(window_.get(), name);
      const auto shown = c.shown.find(name);
      EXPECT_EQ(button->isVisible(), shown != c.shown.end());
      if (shown != c.shown.end()) {
        EXPECT_EQ(button->isEnabled(), shown->second);
      }
    }
    EXPECT_EQ(Child<QPushButton>(window_.get(), "btnModifyDevice")->text(), c.modifyCaption);
    EXPECT_EQ(Info(), c.info);
  }
  ClickNode("ZQ-1A_01");
  Screenshot(window_.get(), "main-window");
}

TEST_F(SetupWindow, PrinterEditorAddsAndModifies) {
  ClickNode("POSPrinter");
  driver_.editors["frmAddPrinter"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Add Printer");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtPrinterName")->text(), "ZQ-1A_02");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtLogicName")->text(), "ZQ-1A_02");
    Child<QComboBox>(editor, "cmbPrinterDriver")->setCurrentText("ZQ-2B");  // names follow the model
    EXPECT_EQ(Child<QLineEdit>(editor, "txtPrinterName")->text(), "ZQ-2B_01");
    Child<QComboBox>(editor, "cmbPortType")->setCurrentText("TCP/IP");
    QTest::keyClicks(Child<QLineEdit>(editor, "txtIP"), "10.0.0.9");
    Screenshot(editor, "printer-editor-add");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnAddDevice");
  Settle();
  EXPECT_EQ(setup::ReadString(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-2B_01"), L"PortSettings"), L"10.0.0.9,9100");
  EXPECT_EQ(Tree()->currentItem(), nullptr);  // an add does not reselect

  const int index = ClickNode("ZQ-1A_01");
  driver_.editors["frmAddPrinter"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Modify Printer");
    EXPECT_FALSE(Child<QComboBox>(editor, "cmbPrinterDriver")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(editor, "txtLogicName")->isEnabled());
    EXPECT_EQ(Child<QComboBox>(editor, "cmbPortType")->currentText(), "TCP/IP");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtIP")->text(), "10.0.0.1");
    Child<QLineEdit>(editor, "txtPrinterName")->setText("Front counter");
    Screenshot(editor, "printer-editor-modify");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnModifyDevice");
  Settle();
  EXPECT_EQ(setup::ReadString(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-1A_01"), L"DriverName"), L"Front counter");
  ASSERT_NE(Tree()->currentItem(), nullptr);  // a modify selects the same node again
  EXPECT_EQ(Tree()->currentItem()->data(0, Qt::UserRole).toInt(), index);
  EXPECT_TRUE(driver_.boxes.empty());
}

TEST_F(SetupWindow, PrinterEditorRefusesAndReportsFailedWrites) {
  ClickNode("POSPrinter");
  std::filesystem::remove(registry_.Path() + ".lock");
  std::filesystem::create_directory(registry_.Path() + ".lock");  // every write fails now
  bool stayedOpen = false;
  driver_.editors["frmAddPrinter"] = [&](QWidget* editor) {
    Child<QComboBox>(editor, "cmbPortType")->setCurrentText("TCP/IP");
    QTest::keyClicks(Child<QLineEdit>(editor, "txtIP"), "1.2.3");
    Click(editor, "btnOK");  // refused: bad address
    EXPECT_TRUE(BackTo(editor));
    QTest::keyClicks(Child<QLineEdit>(editor, "txtIP"), ".4");
    Child<QLineEdit>(editor, "txtLogicName")->setText("  ");
    Click(editor, "btnOK");  // refused: no logical name
    EXPECT_TRUE(BackTo(editor));
    Child<QLineEdit>(editor, "txtLogicName")->setText("New");
    Click(editor, "btnOK");  // the write fails
    EXPECT_TRUE(BackTo(editor));
    stayedOpen = editor->isVisible();
    Click(editor, "btnCancel");
  };
  Click(window_.get(), "btnAddDevice");
  Settle();
  EXPECT_TRUE(stayedOpen);
  EXPECT_FALSE(window_->PrinterEditor()->Saved());
  ASSERT_EQ(driver_.boxes.size(), 3u);
  EXPECT_EQ(driver_.boxes[0], Text("FormAP_IPErr"));
  EXPECT_EQ(driver_.boxes[1], Text("FormALN_NullLogicName"));
  EXPECT_TRUE(driver_.boxes[2].startsWith(Text("_MSG_SaveFailed"))) << driver_.boxes[2].toStdString();
  EXPECT_TRUE(driver_.boxes[2].contains(".lock")) << driver_.boxes[2].toStdString();
}

TEST_F(SetupWindow, LogicalNameEditorAddsRenamesAndRefuses) {
  ClickNode("ZQ-2A_01");
  driver_.editors["frmAddPrinterLogicName"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Add Logical Name");
    QTest::keyClicks(Child<QLineEdit>(editor, "txtLogicName"), " bar ");
    Click(editor, "btnOK");  // taken, whatever the case and blanks
    EXPECT_TRUE(BackTo(editor));
    Child<QLineEdit>(editor, "txtLogicName")->setText("Terrace");
    Screenshot(editor, "logical-name-editor-add");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnAddLogicName");
  Settle();
  EXPECT_EQ(driver_.boxes, std::vector<QString>{Text("FormALN_LogicNameExist")});
  EXPECT_EQ(setup::LogicalNamesOf(L"ZQ-2A_01", DeviceKind::Printer), (std::vector<std::wstring>{L"Kitchen", L"Bar", L"Terrace"}));

  ClickNode("Kitchen");
  driver_.editors["frmAddPrinterLogicName"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Modify Logical Name");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtLogicName")->text(), "Kitchen");
    Child<QLineEdit>(editor, "txtLogicName")->setText("Galley");
    Screenshot(editor, "logical-name-editor-modify");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnAddLogicName");
  Settle();
  EXPECT_EQ(setup::LogicalNamesOf(L"ZQ-2A_01", DeviceKind::Printer), (std::vector<std::wstring>{L"Bar", L"Terrace", L"Galley"}));
}

TEST_F(SetupWindow, DrawerEditorAddsAndModifies) {
  ClickNode("CashDrawer");
  driver_.editors["frmAddCashDrawer"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Add Cash Drawer");
    auto* printers = Child<QComboBox>(editor, "cmbPrinterName");
    EXPECT_EQ(printers->count(), 2);  // the other brand's printer is not offered
    printers->setCurrentText("ZQ-2A_01");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtCashDrawerName")->text(), "ZQ-2A_01_01");
    EXPECT_EQ(Child<QLineEdit>(editor, "txtLogicName")->text(), "ZQ-2A_01_01");
    Child<QCheckBox>(editor, "chkCashDrawer1")->setChecked(false);
    Click(editor, "btnOK");  // no drawer checked: refused
    EXPECT_TRUE(BackTo(editor));
    Child<QCheckBox>(editor, "chkCashDrawer2")->setChecked(true);
    auto* high = Child<QLineEdit>(editor, "txtHigh");
    high->clear();
    QTest::keyClicks(high, "256");  // one byte: the last digit does not go in
    EXPECT_EQ(high->text(), "25");
    Screenshot(editor, "drawer-editor-add");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnAddDevice");
  Settle();
  EXPECT_EQ(driver_.boxes, std::vector<QString>{Text("_MSG_NoDrawerChecked")});
  const std::wstring key = setup::DeviceKeyPath(DeviceKind::CashDrawer, L"ZQ-2A_01_01");
  EXPECT_EQ(setup::ReadString(key, L"DrawerPin"), L"2");
  EXPECT_EQ(setup::ReadString(key, L"SignalOnTime"), L"25");

  ClickNode("ZQ-1A_01_01");
  driver_.editors["frmAddCashDrawer"] = [](QWidget* editor) {
    EXPECT_EQ(editor->windowTitle(), "Modify Cash Drawer");
    EXPECT_FALSE(Child<QLineEdit>(editor, "txtLogicName")->isVisible());
    EXPECT_EQ(Child<QLineEdit>(editor, "txtWaitTimeOut")->text(), "5000");
    Child<QLineEdit>(editor, "txtWaitTimeOut")->setText("8000");
    Screenshot(editor, "drawer-editor-modify");
    Click(editor, "btnOK");
  };
  Click(window_.get(), "btnModifyDevice");
  Settle();
  EXPECT_EQ(setup::ReadString(setup::DeviceKeyPath(DeviceKind::CashDrawer, L"ZQ-1A_01_01"), L"WaitForDrawerCloseTimeOut"), L"8000");
}

TEST_F(SetupWindow, DeleteConfirmsAndKeepsTheLastLogicalName) {
  ClickNode("Till");
  Click(window_.get(), "btnDeleteDevice");  // answered by its default button, Cancel
  Settle();
  EXPECT_EQ(setup::ReadString(setup::ClassKeyPath(DeviceKind::CashDrawer), L"Till"), L"ZQ-1A_01_01");
  driver_.answers = {QMessageBox::Ok};
  Click(window_.get(), "btnDeleteDevice");
  Settle();
  ASSERT_EQ(driver_.boxes.size(), 3u);
  EXPECT_EQ(driver_.boxes[0], "Delete \"Till\"?");
  EXPECT_EQ(driver_.boxes[2], Text("FormD_LastLogicName1") + "\n" + Text("FormD_LastLogicName2"));
  EXPECT_EQ(setup::ReadString(setup::ClassKeyPath(DeviceKind::CashDrawer), L"Till"), L"ZQ-1A_01_01");

  ClickNode("ZQ-2A_01");
  driver_.answers = {QMessageBox::Ok};
  Click(window_.get(), "btnDeleteDevice");
  Settle();
  EXPECT_FALSE(setup::KeyExists(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-2A_01")));
  EXPECT_EQ(NodeTexts(), (std::vector<QString>{"Device", "CashDrawer", "ZQ-1A_01_01", "Till", "POSPrinter", "KR-11_01",
                                               "ZQ-1A_01", "ZQ-1A_01"}));
}

TEST_F(SetupWindow, DeviceTestAgainstTheVirtualPrinter) {
  ASSERT_TRUE(Library().Loaded()) << dlerror();
  ASSERT_EQ(Library().registerServer(), S_OK);
  sim::VirtualPrinter device;
  std::string address;
  const std::unique_ptr<sim::TcpServer> server = ListenOnOwnLoopback(device, address);
  ASSERT_TRUE(server);
  ASSERT_TRUE(setup::SavePrinter(TcpPrinter(L"ZQ-1B", platform::FromUtf8(address)), setup::EditMode::Add, L"", L"Zanth").ok());
  window_->RefreshTreeView();
  ClickNode("ZQ-1B_01");
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    driver_.boxes.clear();
    Click(window_.get(), "btnSelfTest");
    Settle();
    ASSERT_FALSE(driver_.boxes.empty());
    EXPECT_NE(driver_.boxes.back(), "Cann't print anything due to printer fail!");
    EXPECT_FALSE(driver_.boxes.back().contains("Failed Open"));
  }
  EXPECT_GE(server->ConnectionsAccepted(), 2);

  // The drawer test: its opening reaches the window by a queued signal while the interactive
  // box is up.
  setup::DrawerEntry drawer = setup::NewDrawerEntry(L"ZQ-1B_01");
  drawer.openVoltageHigh = true;  // as the virtual printer's sensor reads an open drawer
  ASSERT_TRUE(setup::SaveDrawer(drawer, setup::EditMode::Add, L"", L"Zanth").ok());
  window_->RefreshTreeView();
  ClickNode(QString::fromStdWString(drawer.drawerName));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  driver_.holdWhile = [&](const QString& text) {
    return text.contains("CashDrawer Check Health") && !window_->LastDeviceEvent().contains("CASH_SUE_DRAWEROPEN") &&
           std::chrono::steady_clock::now() < deadline;
  };
  driver_.boxes.clear();
  Click(window_.get(), "btnSelfTest");
  Settle();
  EXPECT_EQ(window_->LastDeviceEvent(), "CashDrawer StatusUpdate: CASH_SUE_DRAWEROPEN (1)");
  ASSERT_FALSE(driver_.boxes.empty());
  EXPECT_EQ(driver_.boxes.back(), "INTERACTIVE HealthCheck: Success!");
  EXPECT_TRUE(Child<QLabel>(window_.get(), "lblDeviceEvent")->text().startsWith(Text("FormD_lblDeviceEvent")));
}

TEST_F(SetupWindow, MessageBoxesFromAnyThread) {
  driver_.answers = {QMessageBox::No, QMessageBox::Cancel};
  int fromWorker = 0;
  std::thread worker([&] { fromWorker = MessageBoxW(nullptr, L"From the event thread", L"T", MB_YESNO); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return fromWorker != 0; }, 10000));
  worker.join();
  EXPECT_EQ(fromWorker, IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, L"From the GUI thread", L"T", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(driver_.boxes, (std::vector<QString>{"From the event thread", "From the GUI thread"}));
}

}  // namespace
}  // namespace zanth::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("ZANTH_SETUP_LANGID", "1033");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
