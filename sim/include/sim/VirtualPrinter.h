// The virtual ESC/POS receipt printer: decodes what a host sends, keeps printer state,
// answers status requests and draws the receipt.
//
// Typical end-to-end use:
//
//   zanth::sim::VirtualPrinter printer;                 // 576 dots, 180 dpi, font A 12x24
//   zanth::sim::TcpServer server(printer, 0);           // Transports.h; port 0 = ephemeral
//   ... point the service object at 127.0.0.1:server.Port() and print ...
//   ASSERT_TRUE(printer.WaitForCuts(1, std::chrono::seconds(10)));
//   auto log = printer.Log();                           // decoded commands, in order
//   printer.SetCoverOpen(true);                         // ASB block goes out if enabled
//   printer.WritePng("/tmp/receipt.png");
//
// Threads: every public method may be called from any thread. Feed() is normally called by
// a transport thread. Callbacks (reply notifier, cut listener) run on the thread that caused
// them, without the printer's lock held, so they may call back into the printer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Decoder.h"
#include "sim/Image.h"

namespace zanth::sim {

// Answers to GS I n. Numbers 1..3 answer one byte; 65..69 answer "_" text NUL.
struct PrinterIds {
  std::uint8_t modelId = 0x20;      // GS I 1
  std::uint8_t typeId = 0x02;       // GS I 2: bit 1 = autocutter fitted
  std::uint8_t romVersion = 0x40;   // GS I 3
  std::string firmware = "1.00";    // GS I 65
  std::string maker = "Orvane";     // GS I 66
  std::string model = "KR-11";      // GS I 67
  std::string serial = "SIM00001";  // GS I 68
  std::string fontInfo = "ANK";     // GS I 69
};

struct PrinterConfig {
  int paperWidthDots = 576;         // the print width: one image column per head dot
  int dpi = 180;                    // head dots per inch (both directions); converts motion units
  // Motion units after power-on, ESC @ and GS P 0 0: horizontal 1/x inch, vertical 1/y inch;
  // 0 means one dot. Heads of 180 and 203 dpi usually move in half dots vertically (y = 2 dpi).
  int motionUnitX = 0, motionUnitY = 0;
  // Distance from the print line up to the cutter: a cut without feed goes through the last
  // this many dots, which then lead the next page.
  int cutterDistanceDots = 0;
  int fontAWidth = 12, fontAHeight = 24;
  int fontBWidth = 9, fontBHeight = 17;
  int defaultLineSpacing = 30;      // ESC 2: 1/6 inch at 180 dpi
  int pageAreaHeight = 1000;        // page-mode area height after ESC L
  bool packetFraming = false;       // the second model: data arrives in AA len data xor BB packets
  bool drawerOpenSensorHigh = true; // drawer open reads as sensor bit 1 (DLE EOT 1 bit 2, GS r 2 bit 0)
  bool pulseOpensDrawer = true;     // ESC p / DLE DC4 1 open the drawer (a test closes it)
  std::string fontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
  // Paper end and cover open stop processing: data waits in the input buffer (real-time
  // status requests in it are still answered) and prints when paper is back or the cover shut.
  bool stopsWhenOffline = false;
  std::size_t inputBufferBytes = 4096;  // what the printer takes in while stopped before refusing more
  int receiveBufferBytes = 0;           // SO_RCVBUF of each TCP connection (0 = the system's)
  PrinterIds ids;

  // The geometry of a configured model group: "TM-T88IV" 512 dots at 0.141 mm (180 dpi), the
  // 80 mm names (and "K15SMB") 576 dots at 0.125 mm (203 dpi), the 58 mm names 384 dots; all
  // but the 58 mm group with half-dot vertical units, each with its print-line-to-cutter
  // distance. Any other name gives the defaults above, with the model id text set.
  static PrinterConfig ForModel(std::string_view modelName);
};

// Conditions a test or the command line can set at any time.
struct PrinterState {
  bool coverOpen = false;
  bool paperEnd = false;
  bool paperNearEnd = false;
  bool drawerOpen = false;
  bool offline = false;  // off-line by request; cover open and paper end also put it off-line
  bool silent = false;   // answers nothing at all (a printer that cannot talk back)
  bool operator==(const PrinterState&) const = default;
};

// Packet acknowledgements of the second model. Every well-formed packet is answered with
// kPacketAck, a packet with a bad checksum or end byte with kPacketNak, except that a packet
// whose commands answer by themselves (DLE EOT, GS r, GS I) is answered by those bytes alone,
// so a one-byte status read gets the status byte.
inline const Bytes kPacketAck = {0xAA, 0x01, 0x06, 0x06, 0xBB};
inline const Bytes kPacketNak = {0xAA, 0x01, 0x15, 0x15, 0xBB};

class VirtualPrinter {
 public:
  explicit VirtualPrinter(PrinterConfig config = {});
  ~VirtualPrinter();
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  const PrinterConfig& Config() const { return config_; }

  // --- input and replies ---
  // Bytes from the host, in order; any split is fine.
  void Feed(const std::uint8_t* data, std::size_t size);
  void Feed(const Bytes& data) { Feed(data.data(), data.size()); }
  void Feed(std::string_view data) { Feed(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()); }
  // Ends the stream (connection closed): a command cut short is logged as "Truncated".
  void EndOfStream();
  // Takes every reply byte queued since the last call (status, ids, ASB blocks, acks).
  Bytes TakeReplies();
  // Discards queued replies (a transport does this when a new connection starts).
  void ClearReplies();
  // Called whenever replies were queued (from Feed or a state change). Keep it short.
  void SetReplyNotifier(std::function<void()> notifier);

  // --- state ---
  void SetState(const PrinterState& state);
  PrinterState State() const;
  void SetCoverOpen(bool on);
  void SetPaperEnd(bool on);
  void SetPaperNearEnd(bool on);
  void SetDrawerOpen(bool on);
  void SetOffline(bool on);
  void SetSilent(bool on);
  void SetIds(const PrinterIds& ids);
  // Text form used by the command line: "cover open|closed", "paper end|ok|near-end",
  // "drawer open|closed", "offline", "online", "silent on|off", "stall on|off",
  // "slow BYTES_PER_SECOND|off", "power off|on". False with a reason otherwise.
  bool ApplyStateCommand(std::string_view line, std::string* error = nullptr);
  // --- printer behaviours faults come from (read by the transports) ---
  // Stalled: the printer takes no bytes at all, so the sender's buffers fill.
  void SetStalled(bool on);
  bool Stalled() const;
  // Packet framing: the next `count` packets with more than `longerThan` bytes of data arrive
  // damaged, as line noise leaves them, and are answered with NAK instead of being printed.
  // (A length keeps a status poll's short packets out of a test's way.)
  void DamagePackets(int count, std::size_t longerThan = 0);
  // Drains at most this many bytes a second (0 = as fast as they come), like a printing head.
  void SetDrainRate(std::size_t bytesPerSecond);
  std::size_t DrainRate() const;
  // Power: off drops the connection and refuses new ones; on again starts as after ESC @ with
  // automatic status back off and the downloaded image gone (NV images stay).
  void SetPower(bool on);
  bool Powered() const;
  int PowerCycles() const;  // completed off-to-on transitions
  // True while paper end or cover open holds data back (stopsWhenOffline).
  bool Stopped() const;
  std::size_t BytesWaiting() const;  // held in the input buffer while stopped
  // How many bytes a transport may read now; when 0, *retry says when to ask again.
  std::size_t InputAllowance(std::chrono::milliseconds* retry);

  // Automatic status back mask last set with GS a (0 = off).
  int AsbMask() const;
  // The 4-byte block the printer would send now, and the single-byte answers.
  Bytes AsbBlock() const;
  std::uint8_t RealTimeStatusByte(int n) const;     // DLE EOT n, n = 1..4
  std::uint8_t TransmitStatusByte(int n) const;     // GS r n, n = 1 or 2

  // --- observation ---
  std::vector<Command> Log() const;                 // everything decoded so far, in order
  std::vector<Command> LogOf(std::string_view op) const;
  // The printed text in code-table bytes: LF ends a line with "\n"; ESC J, ESC d, cuts and
  // page prints end a line that has text on it. For e2e assertions on what was printed.
  std::string PrintedText() const;
  std::size_t BytesReceived() const;
  // The data of the last GS ( k PDF417 / QR store (zbar cannot read PDF417 back).
  Bytes StoredPdf417Data() const;
  Bytes StoredQrData() const;
  int CutCount() const;
  int PulseCount() const;
  int BeepCount() const;
  void ClearLog();

  // Waits until pred() is true or the time-out passes; pred is re-checked after every change
  // and at least every 20 ms. pred may call any accessor of this printer.
  bool WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
  bool WaitForCuts(int count, std::chrono::milliseconds timeout);
  bool WaitForBytes(std::size_t count, std::chrono::milliseconds timeout);
  bool WaitForOp(std::string_view op, std::chrono::milliseconds timeout);  // op logged at least once

  // --- rendering ---
  // The receipt so far: every cut-off page (each ending in a dashed cut mark) followed by the
  // paper printed since the last cut. Width is the paper width.
  Image ReceiptImage() const;
  std::vector<Image> Pages() const;                 // one image per cut, in order
  Image CurrentPage() const;                        // printed since the last cut
  bool WritePng(const std::string& path, std::string* error = nullptr) const;
  // Called after each cut with its index (0-based) and the page; the command line writes PNGs.
  void SetCutListener(std::function<void(int, const Image&)> listener);

 private:
  struct Machine;
  void Notify(bool replies, std::vector<std::pair<int, Image>> cuts);

  PrinterConfig config_;
  mutable std::mutex mutex_;
  std::unique_ptr<Machine> machine_;
  std::function<void()> replyNotifier_;
  std::function<void(int, const Image&)> cutListener_;
  std::mutex waitMutex_;
  std::condition_variable changed_;
  std::uint64_t generation_ = 0;  // guarded by waitMutex_
};

}  // namespace zanth::sim
