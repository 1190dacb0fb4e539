// The sub-commands of 'zanth'. Each returns the process's exit status (0 success, 1 a
// failure already reported on standard error) and writes its answer to standard output.
#pragma once

#include <string>
#include <vector>

namespace zanth::cli {

struct PrintOptions {
  std::string device;
  std::string file = "-";
  bool cut = false;
  bool async = false;
  int characterSet = 0;  // 0: the printer's own
};

struct StatusOptions {
  std::string device;
  bool json = false;
};

struct DrawerOptions {
  std::string device;
  double waitSeconds = -1;  // below 0: do not wait for it to close
};

struct HealthOptions {
  std::string device;
  int level = 1;
};

enum class PortKind { None, Tcp, Serial, Usb, File };

struct AddPrinterOptions {
  std::string name;      // the device's name: its registry key
  std::string model;
  PortKind port = PortKind::None;
  std::string portValue;  // HOST[:PORT], DEVICE[,BAUD] or PATH
  std::string logicalName;  // empty: the device name
  std::string notes;
};

struct AddDrawerOptions {
  std::string printer;  // device or logical name of the printer it hangs on
  std::string name;     // empty: generated from the printer's name
  std::string logicalName;
  int drawerPin = 1;        // 1, 2 or 3 (both)
  int pulseOnMs = 10;
  int pulseOffMs = 10;
  bool statusQuery = true;
  bool openVoltageHigh = false;
  int waitTimeoutMs = 5000;
};

int ListDevices(bool json);
int AddPrinter(const AddPrinterOptions& options);
int AddDrawer(const AddDrawerOptions& options);
int RemoveDevice(const std::string& name);
int Print(const PrintOptions& options);
int Status(const StatusOptions& options);
int Drawer(const DrawerOptions& options);
int CheckHealth(const HealthOptions& options);
// Runs the virtual printer program with the arguments given.
int RunSimulator(const std::vector<std::string>& arguments);
// What regsvr32 does: the service object writes (or removes) its registration.
// root: an installation image (a package's root); the paths recorded are those inside it.
int RegisterServer(const std::string& library, const std::string& root, bool unregister);

// The registry can be read; otherwise reports why (a damaged file names its line).
bool RegistryUsable();
// "zanth: <text>" on standard error; returns 1.
int Fail(const std::string& text);

}  // namespace zanth::cli
