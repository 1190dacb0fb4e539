// zanth: the command line of the OPOS printer service object. Every device command goes
// through the POSPrinter and CashDrawer control objects, as an application's calls do.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "platform/msgbox.h"
#include "platform/registry.h"
#include "platform/wtext.h"

namespace {

// An interactive health check asks on the terminal; without one the box takes its default.
int TerminalMessageBox(const std::wstring& text, const std::wstring& caption, UINT type) {
  if (!::isatty(STDIN_FILENO)) return DefaultMessageBoxAnswer(type);
  std::fprintf(stderr, "%s: %s\nPress Enter to continue... ", platform::ToUtf8(caption).c_str(),
               platform::ToUtf8(text).c_str());
  std::string line;
  std::getline(std::cin, line);
  return DefaultMessageBoxAnswer(type);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zanth::cli;
  CLI::App app{"zanth: OPOS receipt printers and cash drawers from the shell.\n"
               "The registry is $OPOS_REGISTRY, else /etc/opos/registry.reg."};
  app.require_subcommand(1);

  bool devicesJson = false;
  auto* devices = app.add_subcommand("devices", "List printers and drawers: logical names, port, model");
  devices->add_flag("--json", devicesJson, "Answer in JSON");

  AddPrinterOptions printer;
  std::string tcp, serial, file;
  bool usb = false;
  auto* addPrinter = app.add_subcommand("add-printer", "Add a printer entry, as the setup tool's editor does");
  addPrinter->add_option("NAME", printer.name, "The device name (its registry key)")->required();
  addPrinter->add_option("--model", printer.model, "Printer model (see 'zanth models')")->required();
  auto* group = addPrinter->add_option_group("port", "How the printer is connected");
  group->add_option("--tcp", tcp, "Network printer HOST[:PORT] (raw port 9100 by default)");
  group->add_option("--serial", serial, "Serial port DEVICE[,BAUD] (COM1, /dev/ttyUSB0; 115200 baud)");
  group->add_flag("--usb", usb, "USB printer, found by its model");
  group->add_option("--file", file, "A file or FIFO to write to");
  group->require_option(1);
  addPrinter->add_option("--logical", printer.logicalName, "Logical name (default: NAME)");
  addPrinter->add_option("--notes", printer.notes, "Notes kept with the entry");

  AddDrawerOptions drawerEntry;
  auto* addDrawer = app.add_subcommand("add-drawer", "Add a cash drawer on a printer, as the setup tool does");
  addDrawer->add_option("PRINTER", drawerEntry.printer, "The printer's device or logical name")->required();
  addDrawer->add_option("--name", drawerEntry.name, "Device name (default: generated from the printer's)");
  addDrawer->add_option("--logical", drawerEntry.logicalName, "Logical name (default: the device name)");
  addDrawer->add_option("--pin", drawerEntry.drawerPin, "Drawer connector: 1, 2 or 3 (both)")
      ->check(CLI::IsMember({1, 2, 3}));
  addDrawer->add_option("--on", drawerEntry.pulseOnMs, "Pulse on time in ms")->check(CLI::Range(0, 255));
  addDrawer->add_option("--off", drawerEntry.pulseOffMs, "Pulse off time in ms")->check(CLI::Range(0, 255));
  addDrawer->add_option("--wait-timeout", drawerEntry.waitTimeoutMs, "Close-wait time-out in ms")
      ->check(CLI::NonNegativeNumber);
  bool noStatus = false, highVoltage = false;
  addDrawer->add_flag("--no-status", noStatus, "The drawer cannot report whether it is open");
  addDrawer->add_flag("--open-high", highVoltage, "The sensor reads high when the drawer is open");

  std::string removeName;
  auto* remove = app.add_subcommand("remove", "Remove a printer or drawer entry (by device or logical name)");
  remove->add_option("NAME", removeName, "Device or logical name")->required();

  PrintOptions print;
  auto* printCommand = app.add_subcommand("print", "Print OPOS print data (ESC | sequences, or \\x1b| written out)");
  printCommand->add_option("NAME", print.device, "Printer logical or device name")->required();
  printCommand->add_option("FILE", print.file, "File to print, - for standard input (default)");
  printCommand->add_flag("--cut", print.cut, "Cut the paper afterwards");
  printCommand->add_flag("--async", print.async, "AsyncMode: wait for OutputComplete and report the OutputID");
  printCommand->add_option("--character-set", print.characterSet, "CharacterSet (code page) to print in, e.g. 1252")
      ->check(CLI::PositiveNumber);

  StatusOptions status;
  auto* statusCommand = app.add_subcommand("status", "State, cover, paper, near end, drawer, model");
  statusCommand->add_option("NAME", status.device, "Printer logical or device name")->required();
  statusCommand->add_flag("--json", status.json, "Answer in JSON");

  DrawerOptions drawer;
  auto* drawerCommand = app.add_subcommand("drawer", "Open a cash drawer");
  drawerCommand->add_option("NAME", drawer.device, "Drawer logical or device name")->required();
  drawerCommand->add_option("--wait", drawer.waitSeconds, "Wait up to SECONDS for it to be closed again")
      ->check(CLI::NonNegativeNumber);

  HealthOptions health;
  auto* healthCommand = app.add_subcommand("check-health", "Run the device's health check");
  healthCommand->add_option("NAME", health.device, "Printer or drawer logical or device name")->required();
  healthCommand->add_option("--level", health.level, "1 internal, 2 external (prints), 3 interactive")
      ->check(CLI::IsMember({1, 2, 3}));

  std::string library, root;
  auto* registerCommand = app.add_subcommand("register", "Register the service object (what regsvr32 does)");
  registerCommand->add_option("--library", library, "The service object's library (default: the installed one)");
  registerCommand->add_option("--root", root, "An installation image whose paths are recorded as installed");
  auto* unregisterCommand = app.add_subcommand("unregister", "Remove the service object's registration");
  unregisterCommand->add_option("--library", library, "The service object's library (default: the installed one)");

  auto* sim = app.add_subcommand("sim", "Run the virtual printer (arguments go to zanth-sim; try 'zanth sim --help')");
  sim->prefix_command();
  sim->set_help_flag();  // --help goes to the virtual printer program

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help is success; every usage error is status 2, apart from the OPOS codes' range.
    return app.exit(error) == 0 ? 0 : 2;
  }
  SetMessageBoxHandler(TerminalMessageBox);

  if (*devices) return ListDevices(devicesJson);
  if (*addPrinter) {
    printer.port = !tcp.empty() ? PortKind::Tcp : !serial.empty() ? PortKind::Serial : usb ? PortKind::Usb : PortKind::File;
    printer.portValue = !tcp.empty() ? tcp : !serial.empty() ? serial : file;
    return AddPrinter(printer);
  }
  if (*addDrawer) {
    drawerEntry.statusQuery = !noStatus;
    drawerEntry.openVoltageHigh = highVoltage;
    return AddDrawer(drawerEntry);
  }
  if (*remove) return RemoveDevice(removeName);
  if (*printCommand) return Print(print);
  if (*statusCommand) return Status(status);
  if (*drawerCommand) return Drawer(drawer);
  if (*healthCommand) return CheckHealth(health);
  if (*registerCommand) return RegisterServer(library, root, false);
  if (*unregisterCommand) return RegisterServer(library, "", true);
  if (*sim) return RunSimulator(sim->remaining());
  return 2;
}
