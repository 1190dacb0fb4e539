// The main window's device tree as data: nodes read from the registry, the selection a
// click makes, the buttons that selection enables, and deleting the selected node.
#pragma once

#include <string>
#include <vector>

#include "setup/SetupRegistry.h"

namespace zanth::setup {

// Image indices, which also tell the node kinds apart.
enum NodeImage : int {
  kImageRootOrPrinterClass = 0,
  kImagePrinter = 1,
  kImageDrawerClass = 2,
  kImageDrawer = 3,
  kImagePrinterLogicalName = 4,
  kImageDrawerLogicalName = 5,
};

enum class NodeKind { Root, PrinterClass, DrawerClass, Printer, Drawer, PrinterLogicalName, DrawerLogicalName };

struct TreeNode {
  std::wstring text;
  int image = 0;
  NodeKind kind = NodeKind::Root;
  int parent = -1;  // index of the parent node; -1 for the root
  int depth = 0;
};

// The tree in display order (pre-order), so a node's index is its absolute index: node 0 is
// the root "Device", then each class node followed by its devices, each followed by its
// logical names.
struct DeviceTree {
  std::vector<TreeNode> nodes;
  // The children of a node, in order.
  std::vector<int> ChildrenOf(int index) const;
};

// Rebuilds the tree from the registry, creating the two class keys first when missing.
// Entries appear in registry order.
DeviceTree BuildDeviceTree();

enum class NodeMode { None, PrinterNode, CashDrawerNode, POSPrinter, CashDrawer, LogicName };

// What a click on a node selects.
struct Selection {
  NodeMode mode = NodeMode::None;
  std::wstring className;   // "POSPrinter" or "CashDrawer"; empty for the root
  std::wstring deviceName;  // empty for class nodes and the root
  std::wstring logicalName; // the node's text on a logical-name node
  std::wstring nodePath;    // ServiceOPOS path + "\" + node texts from the class node down
  DeviceKind kind = DeviceKind::Printer;
};
Selection SelectionOf(const DeviceTree& tree, int index);

struct ButtonState {
  bool visible = false;
  bool enabled = false;
  std::string captionKey;  // "Language.ini" key of the caption
};

// The main window's buttons and information line for a selection.
struct MainLayout {
  ButtonState add, modify, remove, logicalName, test;
  bool logicalNameModifies = false;  // the logical-name button edits (true) or adds
  std::wstring info;                 // the information line, unless infoIsUnsupported
  bool infoIsUnsupported = false;    // show the "FormD_TIP_Unsupport" text instead
};
// ownProgId: the own ProgID text of the build's brand.
MainLayout LayoutFor(const DeviceTree& tree, int index, const std::wstring& ownProgId);

// Deletes a device entry and every logical name of its class standing for it.
Outcome DeleteDevice(DeviceKind kind, const std::wstring& deviceName);
// Deletes one logical name; refuses (LastLogicalName) when it is its device's only one.
Outcome DeleteLogicalName(DeviceKind kind, const std::wstring& logicalName);
// Deletes what the selection names (device or logical name); class nodes are not deleted.
Outcome DeleteSelected(const Selection& selection);

// The confirmation text of a deletion: prefix, then the node text in double quotes and "?".
std::wstring DeleteConfirmationText(const std::wstring& prefix, const std::wstring& nodeText);

}  // namespace zanth::setup
