// The device tree, the selection and button rules, and deletion.
#include "setup/DeviceTree.h"

#include "platform/wtext.h"
#include "setup/Brand.h"

namespace zanth::setup {

std::vector<int> DeviceTree::ChildrenOf(int index) const {
  std::vector<int> children;
  for (int i = index + 1; i < static_cast<int>(nodes.size()); ++i)
    if (nodes[i].parent == index) children.push_back(i);
  return children;
}

DeviceTree BuildDeviceTree() {
  DeviceTree tree;
  tree.nodes.push_back({L"Device", kImageRootOrPrinterClass, NodeKind::Root, -1, 0});
  EnsureClassKeys();
  for (const std::wstring& className : ListSubkeys(kServiceOposPath)) {
    DeviceKind kind;
    if (platform::EqualsNoCase(className, L"POSPrinter")) {
      kind = DeviceKind::Printer;
    } else if (platform::EqualsNoCase(className, L"CashDrawer")) {
      kind = DeviceKind::CashDrawer;
    } else {
      continue;
    }
    const bool printer = kind == DeviceKind::Printer;
    const int classIndex = static_cast<int>(tree.nodes.size());
    tree.nodes.push_back({ClassName(kind), printer ? kImageRootOrPrinterClass : kImageDrawerClass,
                          printer ? NodeKind::PrinterClass : NodeKind::DrawerClass, 0, 1});
    const std::vector<StringValue> logicalNames = ListStringValues(ClassKeyPath(kind));
    for (const std::wstring& device : ListSubkeys(ClassKeyPath(kind))) {
      const int deviceIndex = static_cast<int>(tree.nodes.size());
      tree.nodes.push_back({device, printer ? kImagePrinter : kImageDrawer,
                            printer ? NodeKind::Printer : NodeKind::Drawer, classIndex, 2});
      for (const StringValue& value : logicalNames) {
        if (value.name.empty() || !platform::EqualsNoCase(value.data, device)) continue;
        tree.nodes.push_back({value.name,
                              printer ? kImagePrinterLogicalName : kImageDrawerLogicalName,
                              printer ? NodeKind::PrinterLogicalName : NodeKind::DrawerLogicalName,
                              deviceIndex, 3});
      }
    }
  }
  return tree;
}

Selection SelectionOf(const DeviceTree& tree, int index) {
  Selection selection;
  if (index < 0 || index >= static_cast<int>(tree.nodes.size())) return selection;
  const TreeNode& node = tree.nodes[index];
  // The path runs from the class node down to the node.
  std::wstring below;
  for (int i = index; i > 0; i = tree.nodes[i].parent) below = L"\\" + tree.nodes[i].text + below;
  selection.nodePath = std::wstring(kServiceOposPath) + below;
  switch (node.kind) {
    case NodeKind::Root:
      selection.nodePath.clear();
      break;
    case NodeKind::PrinterClass:
    case NodeKind::DrawerClass:
      selection.kind = node.kind == NodeKind::PrinterClass ? DeviceKind::Printer : DeviceKind::CashDrawer;
      selection.mode = node.kind == NodeKind::PrinterClass ? NodeMode::PrinterNode : NodeMode::CashDrawerNode;
      selection.className = node.text;
      break;
    case NodeKind::Printer:
    case NodeKind::Drawer:
      selection.kind = node.kind == NodeKind::Printer ? DeviceKind::Printer : DeviceKind::CashDrawer;
      selection.mode = node.kind == NodeKind::Printer ? NodeMode::POSPrinter : NodeMode::CashDrawer;
      selection.className = ClassName(selection.kind);
      selection.deviceName = node.text;
      break;
    case NodeKind::PrinterLogicalName:
    case NodeKind::DrawerLogicalName:
      selection.kind = node.kind == NodeKind::PrinterLogicalName ? DeviceKind::Printer : DeviceKind::CashDrawer;
      selection.mode = NodeMode::LogicName;
      selection.className = tree.nodes[tree.nodes[node.parent].parent].text;
      selection.deviceName = tree.nodes[node.parent].text;
      selection.logicalName = node.text;
      break;
  }
  return selection;
}

MainLayout LayoutFor(const DeviceTree& tree, int index, const std::wstring& ownProgId) {
  MainLayout layout;
  layout.add.captionKey = "FormD_AddPrinter";
  layout.modify.captionKey = "FormD_ModifyPrinter";
  layout.remove.captionKey = "FormD_DeletePrinter";
  layout.logicalName.captionKey = "FormD_AddLogicName";
  layout.test.captionKey = "FormD_btnSelfTest1";
  if (index < 0 || index >= static_cast<int>(tree.nodes.size())) return layout;
  const Selection selection = SelectionOf(tree, index);
  const bool printer = selection.kind == DeviceKind::Printer;
  auto show = [](ButtonState& button, bool visible) { button.visible = visible; };
  switch (selection.mode) {
    case NodeMode::None:
      // The root: the four device buttons stay as they were shown, disabled; no test.
      show(layout.add, true);
      show(layout.modify, true);
      show(layout.remove, true);
      show(layout.logicalName, true);
      return layout;
    case NodeMode::PrinterNode:
    case NodeMode::CashDrawerNode:
      show(layout.add, true);
      layout.add.captionKey = printer ? "FormD_AddPrinter" : "FormD_AddCashDrawer";
      layout.modify.captionKey = printer ? "FormD_ModifyPrinter" : "FormD_ModifyCashDrawer";
      // A class node may be added to; the hidden buttons are enabled but unreachable.
      layout.add.enabled = layout.modify.enabled = layout.remove.enabled =
          layout.logicalName.enabled = true;
      return layout;
    case NodeMode::POSPrinter:
    case NodeMode::CashDrawer:
      show(layout.modify, true);
      show(layout.remove, true);
      show(layout.logicalName, true);
      show(layout.test, true);
      layout.modify.captionKey = printer ? "FormD_ModifyPrinter" : "FormD_ModifyCashDrawer";
      layout.remove.captionKey = printer ? "FormD_DeletePrinter" : "FormD_DeleteCashDrawer";
      layout.test.captionKey = printer ? "FormD_btnSelfTest1" : "FormD_btnSelfTest2";
      layout.logicalName.captionKey = "FormD_AddLogicName";
      layout.logicalNameModifies = false;
      layout.info = printer ? ReadString(selection.nodePath, L"PortType") + L" | " + selection.deviceName
                            : selection.deviceName;
      break;
    case NodeMode::LogicName:
      show(layout.remove, true);
      show(layout.logicalName, true);
      layout.remove.captionKey = "FormD_DeleteLogicName";
      layout.logicalName.captionKey = "FormD_ModifyLogicName";
      layout.logicalNameModifies = true;
      break;
  }
  // Only entries of this build's service object may be changed, deleted or tested.
  const std::wstring progId = ReadString(DeviceKeyPath(selection.kind, selection.deviceName), L"");
  const bool owned = IsOwnedProgId(progId, ownProgId);
  for (ButtonState* button : {&layout.add, &layout.modify, &layout.remove, &layout.logicalName, &layout.test})
    button->enabled = owned;
  if (!owned) {
    layout.info.clear();
    layout.infoIsUnsupported = true;
  }
  return layout;
}

Outcome DeleteDevice(DeviceKind kind, const std::wstring& deviceName) {
  if (Trimmed(deviceName).empty() || deviceName.find(L'\\') != std::wstring::npos)
    return {SetupError::NoSuchDevice, ERROR_SUCCESS, {}};
  if (!KeyExists(DeviceKeyPath(kind, deviceName))) return {SetupError::NoSuchDevice, ERROR_SUCCESS, {}};
  if (Outcome outcome = DeleteSubkey(ClassKeyPath(kind), deviceName); !outcome.ok()) return outcome;
  for (const std::wstring& name : LogicalNamesOf(deviceName, kind))
    if (Outcome outcome = DeleteValue(ClassKeyPath(kind), name); !outcome.ok()) return outcome;
  return {};
}

Outcome DeleteLogicalName(DeviceKind kind, const std::wstring& logicalName) {
  const std::wstring device = ReadString(ClassKeyPath(kind), logicalName);
  if (logicalName.empty() || device.empty()) return {SetupError::NoSuchDevice, ERROR_SUCCESS, {}};
  if (LogicalNamesOf(device, kind).size() <= 1) return {SetupError::LastLogicalName, ERROR_SUCCESS, {}};
  return DeleteValue(ClassKeyPath(kind), logicalName);
}

Outcome DeleteSelected(const Selection& selection) {
  switch (selection.mode) {
    case NodeMode::POSPrinter:
    case NodeMode::CashDrawer:
      return DeleteDevice(selection.kind, selection.deviceName);
    case NodeMode::LogicName:
      return DeleteLogicalName(selection.kind, selection.logicalName);
    default:
      return {SetupError::NoSuchDevice, ERROR_SUCCESS, {}};
  }
}

std::wstring DeleteConfirmationText(const std::wstring& prefix, const std::wstring& nodeText) {
  return prefix + L"\"" + nodeText + L"\"?";
}

}  // namespace zanth::setup
