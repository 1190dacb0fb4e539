// The device tree read from the registry, the buttons each node enables, and deletion.
#include "SetupRegistryFixture.h"

namespace zanth::test {
namespace {

using setup::DeviceKind;
using setup::NodeKind;

std::wstring Dump(const setup::DeviceTree& tree) {
  std::wstring text;
  for (const setup::TreeNode& node : tree.nodes)
    text += std::wstring(node.depth, L' ') + node.text + L":" + std::to_wstring(node.image) + L"\n";
  return text;
}

TEST_F(SetupRegistry, EmptyRegistryGetsBothClassKeys) {
  const setup::DeviceTree tree = setup::BuildDeviceTree();
  // Registry order is name order.
  EXPECT_EQ(Dump(tree), L"Device:0\n CashDrawer:2\n POSPrinter:0\n");
  EXPECT_TRUE(setup::KeyExists(Class(DeviceKind::Printer)));
  EXPECT_TRUE(setup::KeyExists(Class(DeviceKind::CashDrawer)));
}

// Two printers with logical names, a drawer, a foreign entry, and what must stay hidden.
class SetupTree : public SetupRegistry {
 protected:
  void SetUp() override {
    AddPrinter(L"ZQ-1A_01", {L"Front", L"Back"});
    ASSERT_TRUE(setup::WriteString(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-1A_01"), L"PortType", L"TCP/IP").ok());
    AddPrinter(L"KR-11_01", {L"Other"}, L"BrekkOposPrinterU1.13");
    AddEntry(DeviceKind::CashDrawer, L"ZQ-1A_01_01", L"ZanthOposPrinterU1.13", {L"Till", L"ZQ-1A_01"});
    // Not shown: other classes, and the class key's default value.
    ASSERT_TRUE(setup::WriteString(std::wstring(setup::kServiceOposPath) + L"\\Scanner\\S1", L"", L"x").ok());
    ASSERT_TRUE(setup::WriteString(Class(DeviceKind::Printer), L"", L"ZQ-1A_01").ok());
    tree_ = setup::BuildDeviceTree();
  }
  // The first node with the text; the drawer's logical name "ZQ-1A_01" is not the printer.
  int Find(const std::wstring& text) const {
    for (size_t i = 0; i < tree_.nodes.size(); ++i)
      if (tree_.nodes[i].text == text && tree_.nodes[i].kind != NodeKind::DrawerLogicalName)
        return static_cast<int>(i);
    ADD_FAILURE() << "no node " << platform::ToUtf8(text);
    return -1;
  }
  setup::DeviceTree tree_;
};

TEST_F(SetupTree, NodesImagesAndOrder) {
  EXPECT_EQ(Dump(tree_),
            L"Device:0\n CashDrawer:2\n  ZQ-1A_01_01:3\n   Till:5\n   ZQ-1A_01:5\n"
            L" POSPrinter:0\n  KR-11_01:1\n   Other:4\n  ZQ-1A_01:1\n   Front:4\n   Back:4\n");
}

TEST_F(SetupTree, SelectionOfEachNodeKind) {
  const struct {
    std::wstring node;
    setup::NodeMode mode;
    std::wstring className, device, path;
  } cases[] = {
      {L"POSPrinter", setup::NodeMode::PrinterNode, L"POSPrinter", L"",
       L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter"},
      {L"ZQ-1A_01_01", setup::NodeMode::CashDrawer, L"CashDrawer", L"ZQ-1A_01_01",
       L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\ZQ-1A_01_01"},
      {L"Back", setup::NodeMode::LogicName, L"POSPrinter", L"ZQ-1A_01",
       L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\POSPrinter\\ZQ-1A_01\\Back"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::ToUtf8(c.node));
    const setup::Selection s = setup::SelectionOf(tree_, Find(c.node));
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.className, c.className);
    EXPECT_EQ(s.deviceName, c.device);
    EXPECT_EQ(s.nodePath, c.path);
  }
}

TEST_F(SetupTree, ButtonsByNodeAndOwnership) {
  // Per button: 'h' hidden, 'd' shown disabled, 'e' shown enabled; add, modify, delete,
  // logical name, test.
  const struct {
    int node;  // -1: look up by text
    std::wstring text;
    std::string buttons;
    std::string modifyCaption, deleteCaption, logicalCaption;
    std::wstring info;
    bool unsupported;
  } cases[] = {
      {0, L"", "ddddh", "FormD_ModifyPrinter", "FormD_DeletePrinter", "FormD_AddLogicName", L"", false},
      {-1, L"CashDrawer", "ehhhh", "FormD_ModifyCashDrawer", "FormD_DeletePrinter", "FormD_AddLogicName", L"", false},
      {-1, L"ZQ-1A_01", "heeee", "FormD_ModifyPrinter", "FormD_DeletePrinter", "FormD_AddLogicName",
       L"TCP/IP | ZQ-1A_01", false},
      {-1, L"ZQ-1A_01_01", "heeee", "FormD_ModifyCashDrawer", "FormD_DeleteCashDrawer", "FormD_AddLogicName",
       L"ZQ-1A_01_01", false},
      {-1, L"Front", "hheeh", "FormD_ModifyPrinter", "FormD_DeleteLogicName", "FormD_ModifyLogicName", L"", false},
      {-1, L"KR-11_01", "hdddd", "FormD_ModifyPrinter", "FormD_DeletePrinter", "FormD_AddLogicName", L"", true},
      {-1, L"Other", "hhddh", "FormD_ModifyPrinter", "FormD_DeleteLogicName", "FormD_ModifyLogicName", L"", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.node >= 0 ? std::string("root") : platform::ToUtf8(c.text));
    const setup::MainLayout layout =
        setup::LayoutFor(tree_, c.node >= 0 ? c.node : Find(c.text), setup::OwnProgIdOf(setup::kBuildBrand));
    std::string buttons;
    for (const setup::ButtonState* b : {&layout.add, &layout.modify, &layout.remove, &layout.logicalName, &layout.test})
      buttons += !b->visible ? 'h' : b->enabled ? 'e' : 'd';
    EXPECT_EQ(buttons, c.buttons);
    EXPECT_EQ(layout.modify.captionKey, c.modifyCaption);
    EXPECT_EQ(layout.remove.captionKey, c.deleteCaption);
    EXPECT_EQ(layout.logicalName.captionKey, c.logicalCaption);
    EXPECT_EQ(layout.logicalNameModifies, c.logicalCaption == "FormD_ModifyLogicName");
    EXPECT_EQ(layout.info, c.info);
    EXPECT_EQ(layout.infoIsUnsupported, c.unsupported);
  }
}

TEST_F(SetupTree, DeletingADeviceTakesItsLogicalNamesOnly) {
  ASSERT_TRUE(setup::DeleteSelected(setup::SelectionOf(tree_, Find(L"ZQ-1A_01"))).ok());
  EXPECT_FALSE(setup::KeyExists(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-1A_01")));
  // The drawer's logical name that reads like the printer's name stays with the drawer.
  EXPECT_EQ(Dump(setup::BuildDeviceTree()),
            L"Device:0\n CashDrawer:2\n  ZQ-1A_01_01:3\n   Till:5\n   ZQ-1A_01:5\n"
            L" POSPrinter:0\n  KR-11_01:1\n   Other:4\n");
}

TEST_F(SetupTree, TheLastLogicalNameStays) {
  EXPECT_EQ(setup::DeleteLogicalName(DeviceKind::Printer, L"Other").error, setup::SetupError::LastLogicalName);
  EXPECT_EQ(setup::ReadString(Class(DeviceKind::Printer), L"Other"), L"KR-11_01");
  ASSERT_TRUE(setup::DeleteSelected(setup::SelectionOf(tree_, Find(L"Front"))).ok());
  EXPECT_EQ(setup::LogicalNamesOf(L"ZQ-1A_01", DeviceKind::Printer), std::vector<std::wstring>{L"Back"});
  EXPECT_EQ(setup::DeleteLogicalName(DeviceKind::Printer, L"Back").error, setup::SetupError::LastLogicalName);
}

TEST_F(SetupTree, FailedDeletionIsReported) {
  BlockWrites();
  const setup::Outcome outcome = setup::DeleteDevice(DeviceKind::Printer, L"ZQ-1A_01");
  EXPECT_EQ(outcome.error, setup::SetupError::RegistryFailure);
  EXPECT_NE(outcome.reason.find(L".lock"), std::wstring::npos) << platform::ToUtf8(outcome.reason);
  EXPECT_TRUE(setup::KeyExists(setup::DeviceKeyPath(DeviceKind::Printer, L"ZQ-1A_01")));
}

TEST(SetupDelete, ConfirmationText) {
  EXPECT_EQ(setup::DeleteConfirmationText(L"Delete ", L"Front"), L"Delete \"Front\"?");
}

}  // namespace
}  // namespace zanth::test
