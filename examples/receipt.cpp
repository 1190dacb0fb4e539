// A receipt with a logo and a barcode, printed asynchronously through the POSPrinter
// control object. Build against the installed package:
//   g++ -std=c++20 receipt.cpp $(pkg-config --cflags --libs zanth) -o receipt
// Run: ./receipt LOGICAL-NAME LOGO.bmp [--sync]   (registry: $OPOS_REGISTRY or /etc/opos/registry.reg)
#include <POSPrinter.h>
#include <OposConstants.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

int Fail(zanth::co::POSPrinter& printer, const char* what, LONG rc) {
  std::fprintf(stderr, "%s failed: ResultCode %d, ResultCodeExtended %d, OpenResult %d\n", what, rc,
               printer.ResultCodeExtended(), printer.OpenResult());
  return 1;
}

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return std::fprintf(stderr, "usage: receipt LOGICAL-NAME LOGO-FILE [--sync]\n"), 2;
  const bool async = argc == 3;
  std::mutex mutex;
  std::condition_variable done;
  LONG completed = 0, failed = 0;
  zanth::co::POSPrinter printer;
  // Events arrive on the service object's event thread.
  printer.Callbacks().outputComplete = [&](LONG id) {
    std::lock_guard lock(mutex);
    completed = id;
    done.notify_all();
  };
  printer.Callbacks().error = [&](LONG rc, LONG, LONG, LONG& response) {
    std::lock_guard lock(mutex);
    failed = rc;
    response = OPOS_ER_CLEAR;
    done.notify_all();
  };
  std::wstring name(argv[1], argv[1] + std::strlen(argv[1]));
  std::wstring logo(argv[2], argv[2] + std::strlen(argv[2]));
  if (LONG rc = printer.Open(name)) return Fail(printer, "Open", rc);
  if (LONG rc = printer.ClaimDevice(1000)) return Fail(printer, "ClaimDevice", rc);
  printer.SetDeviceEnabled(true);
  printer.SetAsyncMode(async);
  const auto step = [&](const char* what, LONG rc) { return rc == OPOS_SUCCESS || Fail(printer, what, rc) == 0; };
  bool ok = step("PrintBitmap", printer.PrintBitmap(PTR_S_RECEIPT, logo, PTR_BM_ASIS, PTR_BM_CENTER)) &&
            step("PrintNormal", printer.PrintNormal(PTR_S_RECEIPT, L"\x1b|cA\x1b|bCCORNER SHOP\n\x1b|N"
                                                                   L"Coffee            2.40\nBagel             1.90\n"
                                                                   L"\x1b|bCTOTAL             4.30\n")) &&
            step("PrintBarCode", printer.PrintBarCode(PTR_S_RECEIPT, L"4006381333931", PTR_BCS_EAN13, 80, 2,
                                                      PTR_BC_CENTER, PTR_BC_TEXT_BELOW)) &&
            step("CutPaper", printer.CutPaper(90));
  const LONG last = printer.OutputID();
  if (ok && async) {
    std::unique_lock lock(mutex);
    ok = done.wait_for(lock, std::chrono::seconds(60), [&] { return completed >= last || failed; }) && !failed;
  }
  std::printf(ok ? "receipt printed, OutputID %d complete\n" : "receipt failed (OutputID %d)\n", last);
  printer.SetDeviceEnabled(false);
  printer.ReleaseDevice();
  printer.Close();
  return ok ? 0 : 1;
}
