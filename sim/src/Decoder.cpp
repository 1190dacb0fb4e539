// ESC/POS decoder: one parse step per command, written from the printer's side of the wire.
#include "sim/Decoder.h"

#include <algorithm>
#include <cstdio>

namespace zanth::sim {
namespace {

constexpr std::uint8_t HT = 0x09, LF = 0x0A, FF = 0x0C, CR = 0x0D, CAN = 0x18;
constexpr std::uint8_t DLE = 0x10, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

// Result of one parse attempt.
enum class Step { Done, NeedMore, NeedMoreData };

struct Parser {
  const std::uint8_t* p;
  std::size_t n;
  Command& c;
  bool rasterNvImages = false;
  std::size_t used = 0;

  bool Have(std::size_t k) const { return n >= k; }
  int U8(std::size_t i) const { return p[i]; }
  int U16(std::size_t i) const { return p[i] | (p[i + 1] << 8); }
  std::uint32_t U32(std::size_t i) const {
    return std::uint32_t(p[i]) | (std::uint32_t(p[i + 1]) << 8) | (std::uint32_t(p[i + 2]) << 16) |
           (std::uint32_t(p[i + 3]) << 24);
  }

  // Fixed-size command: `size` bytes in all, the last `params` of them are byte arguments.
  Step Fixed(const char* op, const char* mnemonic, std::size_t size, std::size_t params) {
    if (!Have(size)) return Step::NeedMore;
    c.op = op;
    c.mnemonic = mnemonic;
    for (std::size_t i = size - params; i < size; ++i) c.args.push_back(p[i]);
    used = size;
    return Step::Done;
  }
  // Command with one 16-bit argument after a `head`-byte prefix.
  Step Word(const char* op, const char* mnemonic, std::size_t head) {
    if (!Have(head + 2)) return Step::NeedMore;
    c.op = op;
    c.mnemonic = mnemonic;
    c.args.push_back(U16(head));
    used = head + 2;
    return Step::Done;
  }
  Step Unknown(std::size_t size, const char* why) {
    c.op = "Unknown";
    c.malformed = true;
    c.note = why;
    used = size;
    return Step::Done;
  }
  Step Refuse(std::size_t header, std::size_t declared) {
    c.malformed = true;
    c.note = "declared length " + std::to_string(declared) + " refused";
    used = header;
    return Step::Done;
  }
  // Counted payload of `len` bytes after `header` bytes.
  Step Payload(std::size_t header, std::size_t len) {
    if (len > Decoder::kMaxPayload) return Refuse(header, len);
    if (!Have(header + len)) return Step::NeedMoreData;
    c.data.assign(p + header, p + header + len);
    used = header + len;
    return Step::Done;
  }
};

Step ParseText(Parser& r) {
  std::size_t i = 0;
  while (i < r.n && r.p[i] >= 0x20) ++i;
  r.c.op = "Text";
  r.c.mnemonic = "TEXT";
  r.c.data.assign(r.p, r.p + i);
  r.used = i;
  return Step::Done;
}

Step ParseDle(Parser& r) {
  if (!r.Have(2)) return Step::NeedMore;
  switch (r.p[1]) {
    case 0x04: {
      Step s = r.Fixed("RealTimeStatus", "DLE EOT", 3, 1);
      if (s == Step::Done && (r.c.args[0] < 1 || r.c.args[0] > 4)) {
        r.c.malformed = true;
        r.c.note = "n outside 1..4";
      }
      return s;
    }
    case 0x05: return r.Fixed("RealTimeRequest", "DLE ENQ", 3, 1);
    case 0x14: {
      if (!r.Have(3)) return Step::NeedMore;
      int fn = r.p[2];
      if (fn == 1) {
        // DLE DC4 1 m t pulses the drawer; the short form "DLE DC4 1 m" (m other than the pin
        // numbers 0 and 1) is a vendor function with one argument.
        if (!r.Have(4)) return Step::NeedMore;
        if (r.p[3] <= 1) return r.Fixed("RealTimePulse", "DLE DC4", 5, 3);
        return r.Fixed("RealTimeFunction", "DLE DC4", 4, 2);
      }
      if (fn == 2) return r.Fixed("RealTimePowerOff", "DLE DC4", 5, 3);
      if (fn == 8) return r.Fixed("RealTimeClearBuffers", "DLE DC4", 10, 8);
      Step s = r.Fixed("RealTimeFunction", "DLE DC4", 3, 1);
      r.c.malformed = true;
      r.c.note = "unknown DLE DC4 function";
      return s;
    }
    default: return r.Unknown(1, "DLE followed by an unknown byte");
  }
}

Step ParseEscParen(Parser& r) {
  // ESC ( x pL pH data: ESC ( A is the buzzer; other functions are logged with their data.
  if (!r.Have(5)) return Step::NeedMore;
  int fn = r.p[2];
  std::size_t len = r.U16(3);
  r.c.mnemonic = std::string("ESC ( ") + char(fn);
  r.c.op = fn == 'A' ? "Buzzer" : "EscParen";
  r.c.args.push_back(fn);
  return r.Payload(5, len);
}

Step ParseUserChars(Parser& r) {
  // ESC & y c1 c2 [x d1 .. d(y*x)] for each character c1..c2.
  if (!r.Have(5)) return Step::NeedMore;
  int y = r.p[2], c1 = r.p[3], c2 = r.p[4];
  r.c.op = "DefineUserChars";
  r.c.mnemonic = "ESC &";
  r.c.args = {y, c1, c2};
  if (c2 < c1 || y == 0 || y > 3) {
    r.used = 5;
    r.c.malformed = true;
    r.c.note = "bad ESC & header";
    return Step::Done;
  }
  std::size_t pos = 5;
  for (int ch = c1; ch <= c2; ++ch) {
    if (!r.Have(pos + 1)) return Step::NeedMoreData;
    pos += 1 + std::size_t(y) * r.p[pos];
  }
  if (!r.Have(pos)) return Step::NeedMoreData;
  r.c.data.assign(r.p + 5, r.p + pos);
  r.used = pos;
  return Step::Done;
}

Step ParseEsc(Parser& r) {
  if (!r.Have(2)) return Step::NeedMore;
  switch (r.p[1]) {
    case FF: return r.Fixed("PrintPage", "ESC FF", 2, 0);
    case ' ': return r.Fixed("RightSpacing", "ESC SP", 3, 1);
    case '!': return r.Fixed("PrintMode", "ESC !", 3, 1);
    case '$': return r.Word("AbsolutePosition", "ESC $", 2);
    case '%': return r.Fixed("UserCharSet", "ESC %", 3, 1);
    case '&': return ParseUserChars(r);
    case '(': return ParseEscParen(r);
    case '*': {
      if (!r.Have(5)) return Step::NeedMore;
      int m = r.p[2], width = r.U16(3);
      r.c.op = "BitImage";
      r.c.mnemonic = "ESC *";
      r.c.args = {m, width};
      if (m != 0 && m != 1 && m != 32 && m != 33) {
        r.c.malformed = true;
        r.c.note = "unknown bit-image mode";
        r.used = 5;
        return Step::Done;
      }
      return r.Payload(5, std::size_t(width) * (m >= 32 ? 3 : 1));
    }
    case '-': return r.Fixed("Underline", "ESC -", 3, 1);
    case '2': return r.Fixed("DefaultLineSpacing", "ESC 2", 2, 0);
    case '3': return r.Fixed("LineSpacing", "ESC 3", 3, 1);
    case '=': return r.Fixed("SelectPeripheral", "ESC =", 3, 1);
    case '?': return r.Fixed("CancelUserChar", "ESC ?", 3, 1);
    case '@': return r.Fixed("Initialize", "ESC @", 2, 0);
    case 'D': {
      // Tab positions end with NUL; a printer takes at most 32 of them.
      std::size_t i = 2;
      while (i < r.n && r.p[i] != 0 && i < 2 + 33) ++i;
      if (i >= r.n) return Step::NeedMoreData;
      r.c.op = "TabPositions";
      r.c.mnemonic = "ESC D";
      for (std::size_t k = 2; k < i; ++k) r.c.args.push_back(r.p[k]);
      if (r.p[i] != 0) {
        r.c.malformed = true;
        r.c.note = "more than 32 tab positions";
        r.used = i;
      } else {
        r.used = i + 1;
      }
      return Step::Done;
    }
    case 'E': return r.Fixed("Emphasized", "ESC E", 3, 1);
    case 'G': return r.Fixed("DoubleStrike", "ESC G", 3, 1);
    case 'J': return r.Fixed("FeedDots", "ESC J", 3, 1);
    case 'K': return r.Fixed("ReverseFeedDots", "ESC K", 3, 1);
    case 'L': return r.Fixed("PageMode", "ESC L", 2, 0);
    case 'M': return r.Fixed("Font", "ESC M", 3, 1);
    case 'R': return r.Fixed("InternationalSet", "ESC R", 3, 1);
    case 'S': return r.Fixed("StandardMode", "ESC S", 2, 0);
    case 'T': return r.Fixed("PageDirection", "ESC T", 3, 1);
    case 'V': return r.Fixed("Rotate90", "ESC V", 3, 1);
    case 'W': {
      if (!r.Have(10)) return Step::NeedMore;
      r.c.op = "PageArea";
      r.c.mnemonic = "ESC W";
      r.c.args = {r.U16(2), r.U16(4), r.U16(6), r.U16(8)};
      r.used = 10;
      return Step::Done;
    }
    case '\\': return r.Word("RelativePosition", "ESC \\", 2);
    case 'a': return r.Fixed("Justification", "ESC a", 3, 1);
    case 'c': {
      if (!r.Have(4)) return Step::NeedMore;
      switch (r.p[2]) {
        case '3': return r.Fixed("PaperOutSensor", "ESC c 3", 4, 1);
        case '4': return r.Fixed("PaperStopSensor", "ESC c 4", 4, 1);
        case '5': return r.Fixed("PanelButtons", "ESC c 5", 4, 1);
        default: {
          Step s = r.Fixed("EscC", "ESC c", 4, 2);
          r.c.malformed = true;
          r.c.note = "unknown ESC c function";
          return s;
        }
      }
    }
    case 'd': return r.Fixed("FeedLines", "ESC d", 3, 1);
    case 'e': return r.Fixed("ReverseFeedLines", "ESC e", 3, 1);
    case 'i': return r.Fixed("Cut", "ESC i", 2, 0);
    case 'm': return r.Fixed("Cut", "ESC m", 2, 0);
    case 'p': return r.Fixed("Pulse", "ESC p", 5, 3);
    case 'r': return r.Fixed("Color", "ESC r", 3, 1);
    case 't': return r.Fixed("CodeTable", "ESC t", 3, 1);
    case 'u': return r.Fixed("PeripheralStatus", "ESC u", 3, 1);
    case 'v': return r.Fixed("PaperStatus", "ESC v", 2, 0);
    case '{': return r.Fixed("UpsideDown", "ESC {", 3, 1);
    default: return r.Unknown(2, "unknown ESC command");
  }
}

Step ParseFsQ(Parser& r) {
  // FS q n [xL xH yL yH d...]: x and y count 8 dots, the data is x * 8 columns of y bytes;
  // in the second model's layout they are dots and the data rows of (x + 7) / 8 bytes.
  if (!r.Have(3)) return Step::NeedMore;
  int count = r.p[2];
  r.c.op = "DefineNvImages";
  r.c.mnemonic = "FS q";
  r.c.args.push_back(count);
  std::size_t pos = 3;
  for (int i = 0; i < count; ++i) {
    if (!r.Have(pos + 4)) return Step::NeedMoreData;
    std::size_t w = r.U16(pos), h = r.U16(pos + 2);
    std::size_t bytes = r.rasterNvImages ? h * ((w + 7) / 8) : w * h * 8;
    if (bytes > Decoder::kMaxPayload) return r.Refuse(pos + 4, bytes);
    pos += 4 + bytes;
    if (!r.Have(pos)) return Step::NeedMoreData;
  }
  r.c.data.assign(r.p + 3, r.p + pos);
  r.used = pos;
  return Step::Done;
}

Step ParseFs(Parser& r) {
  if (!r.Have(2)) return Step::NeedMore;
  switch (r.p[1]) {
    case '!': return r.Fixed("KanjiPrintMode", "FS !", 3, 1);
    case '&': return r.Fixed("KanjiOn", "FS &", 2, 0);
    case '.': return r.Fixed("KanjiOff", "FS .", 2, 0);
    case '-': return r.Fixed("KanjiUnderline", "FS -", 3, 1);
    case 'C': return r.Fixed("KanjiCodeSystem", "FS C", 3, 1);
    case 'S': return r.Fixed("KanjiSpacing", "FS S", 4, 2);
    case 'W': return r.Fixed("KanjiQuadruple", "FS W", 3, 1);
    case 'p': return r.Fixed("PrintNvImage", "FS p", 4, 2);
    case 'q': return ParseFsQ(r);
    case '(': {
      if (!r.Have(5)) return Step::NeedMore;
      r.c.op = "FsParen";
      r.c.mnemonic = std::string("FS ( ") + char(r.p[2]);
      r.c.args.push_back(r.p[2]);
      return r.Payload(5, std::size_t(r.U16(3)));
    }
    default: return r.Unknown(2, "unknown FS command");
  }
}

// GS ( k, GS ( L and GS 8 L share the "m fn data" body; the op name tells the function.
void NameGraphics(Command& c, int fn) {
  switch (fn) {
    case 0: case 48: c.op = "Graphics.QueryCapacity"; break;
    case 3: case 51: c.op = "Graphics.QueryRemaining"; break;
    case 2: case 50: c.op = "Graphics.PrintBuffered"; break;
    case 64: c.op = "Graphics.QueryKeys"; break;
    case 65: c.op = "Graphics.DeleteAll"; break;
    case 66: c.op = "Graphics.Delete"; break;
    case 67: c.op = "Graphics.DefineNv"; break;
    case 69: c.op = "Graphics.PrintNv"; break;
    case 112: c.op = "Graphics.StoreRaster"; break;
    default: c.op = "Graphics.Function"; break;
  }
}

void NameSymbol(Command& c, int cn, int fn) {
  const char* kind = cn == 48 ? "Pdf417." : cn == 49 ? "Qr." : "Symbol.";
  const char* what = "Function";
  if (cn == 48) {
    switch (fn) {
      case 65: what = "Columns"; break;
      case 66: what = "Rows"; break;
      case 67: what = "ModuleWidth"; break;
      case 68: what = "RowHeight"; break;
      case 69: what = "ErrorCorrection"; break;
      case 70: what = "Options"; break;
    }
  } else if (cn == 49) {
    switch (fn) {
      case 65: what = "Model"; break;
      case 67: what = "ModuleSize"; break;
      case 69: what = "ErrorCorrection"; break;
    }
  }
  if (fn == 80) what = "Store";
  if (fn == 81) what = "Print";
  if (fn == 82) what = "QuerySize";
  c.op = std::string(kind) + what;
}

Step ParseGsParen(Parser& r) {
  if (!r.Have(5)) return Step::NeedMore;
  int fn = r.p[2];
  std::size_t len = r.U16(3);
  r.c.mnemonic = std::string("GS ( ") + char(fn);
  Step s = r.Payload(5, len);
  if (s != Step::Done || r.c.malformed) {
    if (s == Step::Done) r.c.op = "GsParen";
    return s;
  }
  Bytes body = std::move(r.c.data);
  r.c.data.clear();
  auto split = [&](std::size_t head) {
    for (std::size_t i = 0; i < head && i < body.size(); ++i) r.c.args.push_back(body[i]);
    if (body.size() > head) r.c.data.assign(body.begin() + long(head), body.end());
  };
  switch (fn) {
    case 'k':
      if (body.size() < 2) {
        r.c.op = "Symbol.Function";
        r.c.malformed = true;
        r.c.note = "GS ( k without cn fn";
        r.c.data = body;
        return Step::Done;
      }
      NameSymbol(r.c, body[0], body[1]);
      split(2);
      return Step::Done;
    case 'L':
      if (body.size() < 2) {
        r.c.op = "Graphics.Function";
        r.c.malformed = true;
        r.c.note = "GS ( L without m fn";
        r.c.data = body;
        return Step::Done;
      }
      NameGraphics(r.c, body[1]);
      split(2);
      return Step::Done;
    case 'A': r.c.op = "TestPrint"; break;
    case 'E': r.c.op = "UserSetup"; break;
    case 'K': r.c.op = "PrintControl"; break;
    case 'N': r.c.op = "CharacterColor"; break;
    default: r.c.op = "GsParen"; break;
  }
  split(body.empty() ? 0 : 1);
  return Step::Done;
}

Step ParseGsEight(Parser& r) {
  // GS 8 L p1 p2 p3 p4 m fn data: the 32-bit-length form of GS ( L.
  if (!r.Have(3)) return Step::NeedMore;
  if (r.p[2] != 'L') return r.Unknown(3, "unknown GS 8 function");
  if (!r.Have(7)) return Step::NeedMore;
  std::size_t len = r.U32(3);
  r.c.mnemonic = "GS 8 L";
  Step s = r.Payload(7, len);
  if (s != Step::Done) return s;
  if (r.c.malformed) {
    r.c.op = "Graphics.Function";
    return s;
  }
  Bytes body = std::move(r.c.data);
  r.c.data.clear();
  if (body.size() < 2) {
    r.c.op = "Graphics.Function";
    r.c.malformed = true;
    r.c.note = "GS 8 L without m fn";
    r.c.data = body;
    return Step::Done;
  }
  NameGraphics(r.c, body[1]);
  r.c.args = {body[0], body[1]};
  r.c.data.assign(body.begin() + 2, body.end());
  return Step::Done;
}

Step ParseBarcode(Parser& r) {
  if (!r.Have(3)) return Step::NeedMore;
  int m = r.p[2];
  r.c.op = "Barcode";
  r.c.mnemonic = "GS k";
  r.c.args.push_back(m);
  if (m <= 6) {
    // Format 1: data ends with NUL.
    std::size_t i = 3;
    while (i < r.n && r.p[i] != 0 && i < 3 + 255) ++i;
    if (i >= r.n) return Step::NeedMoreData;
    r.c.data.assign(r.p + 3, r.p + i);
    r.used = r.p[i] == 0 ? i + 1 : i;
    if (r.p[i] != 0) {
      r.c.malformed = true;
      r.c.note = "barcode data without NUL";
    }
    return Step::Done;
  }
  if (m >= 65 && m <= 78) {
    if (!r.Have(4)) return Step::NeedMore;
    return r.Payload(4, r.p[3]);
  }
  r.c.malformed = true;
  r.c.note = "unknown barcode system";
  r.used = 3;
  return Step::Done;
}

Step ParseCut(Parser& r) {
  if (!r.Have(3)) return Step::NeedMore;
  int m = r.p[2];
  if (m == 0 || m == 1 || m == 48 || m == 49) return r.Fixed("Cut", "GS V", 3, 1);
  if (m == 65 || m == 66 || (m >= 97 && m <= 100)) return r.Fixed("Cut", "GS V", 4, 2);
  Step s = r.Fixed("Cut", "GS V", 3, 1);
  r.c.malformed = true;
  r.c.note = "unknown cut mode";
  return s;
}

Step ParseGs(Parser& r) {
  if (!r.Have(2)) return Step::NeedMore;
  switch (r.p[1]) {
    case '!': return r.Fixed("CharacterSize", "GS !", 3, 1);
    case '"': {
      // The second model's curved text: GS " t xL xH text NUL.
      if (!r.Have(5)) return Step::NeedMore;
      std::size_t i = 5;
      while (i < r.n && r.p[i] != 0 && i < 5 + 1024) ++i;
      if (i >= r.n) return Step::NeedMoreData;
      r.c.op = "CurvedText";
      r.c.mnemonic = "GS \"";
      r.c.args = {r.p[2], r.U16(3)};
      r.c.data.assign(r.p + 5, r.p + i);
      r.used = r.p[i] == 0 ? i + 1 : i;
      return Step::Done;
    }
    case '$': return r.Word("AbsoluteVerticalPosition", "GS $", 2);
    case '\'': {
      // The second model's line segments: GS ' n, then n pairs of 16-bit start and end.
      if (!r.Have(3)) return Step::NeedMore;
      int count = r.p[2];
      r.c.op = "LineSegments";
      r.c.mnemonic = "GS '";
      r.c.args.push_back(count);
      if (!r.Have(3 + std::size_t(count) * 4)) return Step::NeedMoreData;
      for (int i = 0; i < count; ++i) {
        r.c.args.push_back(r.U16(3 + i * 4));
        r.c.args.push_back(r.U16(5 + i * 4));
      }
      r.used = 3 + std::size_t(count) * 4;
      return Step::Done;
    }
    case '(': return ParseGsParen(r);
    case '*': {
      if (!r.Have(4)) return Step::NeedMore;
      int x = r.p[2], y = r.p[3];
      r.c.op = "DefineDownloadedImage";
      r.c.mnemonic = "GS *";
      r.c.args = {x, y};
      if (x == 0 || y == 0) {
        r.c.malformed = true;
        r.c.note = "zero image size";
        r.used = 4;
        return Step::Done;
      }
      return r.Payload(4, std::size_t(x) * y * 8);
    }
    case '/': return r.Fixed("PrintDownloadedImage", "GS /", 3, 1);
    case '8': return ParseGsEight(r);
    case ':': return r.Fixed("Macro", "GS :", 2, 0);
    case 'B': return r.Fixed("Reverse", "GS B", 3, 1);
    case 'E': return r.Fixed("PrintDensity", "GS E", 3, 1);
    case 'H': return r.Fixed("HriPosition", "GS H", 3, 1);
    case 'I': return r.Fixed("TransmitPrinterId", "GS I", 3, 1);
    case 'L': return r.Word("LeftMargin", "GS L", 2);
    case 'P': return r.Fixed("MotionUnits", "GS P", 4, 2);
    case 'V': return ParseCut(r);
    case 'W': return r.Word("PrintAreaWidth", "GS W", 2);
    case '\\': return r.Word("RelativeVerticalPosition", "GS \\", 2);
    case '^': return r.Fixed("ExecuteMacro", "GS ^", 5, 3);
    case 'a': return r.Fixed("AutoStatusBack", "GS a", 3, 1);
    case 'b': return r.Fixed("Smoothing", "GS b", 3, 1);
    case 'f': return r.Fixed("HriFont", "GS f", 3, 1);
    case 'g': {
      if (!r.Have(3)) return Step::NeedMore;
      // GS g 0 m nL nH resets a maintenance counter, GS g 2 m nL nH asks for one.
      if (!r.Have(6)) return Step::NeedMore;
      r.c.op = r.p[2] == '2' ? "QueryMaintenanceCounter" : "ResetMaintenanceCounter";
      r.c.mnemonic = "GS g";
      r.c.args = {r.p[2], r.p[3], r.U16(4)};
      r.used = 6;
      if (r.p[2] != '0' && r.p[2] != '2') {
        r.c.malformed = true;
        r.c.note = "unknown GS g function";
      }
      return Step::Done;
    }
    case 'h': return r.Fixed("BarcodeHeight", "GS h", 3, 1);
    case 'k': return ParseBarcode(r);
    case 'r': return r.Fixed("TransmitStatus", "GS r", 3, 1);
    case 'v': {
      if (!r.Have(3)) return Step::NeedMore;
      if (r.p[2] != '0') return r.Unknown(3, "unknown GS v function");
      if (!r.Have(8)) return Step::NeedMore;
      int m = r.p[3], bx = r.U16(4), h = r.U16(6);
      r.c.op = "RasterImage";
      r.c.mnemonic = "GS v 0";
      r.c.args = {m, bx, h};
      return r.Payload(8, std::size_t(bx) * h);
    }
    case 'w': return r.Fixed("BarcodeModuleWidth", "GS w", 3, 1);
    default: return r.Unknown(2, "unknown GS command");
  }
}

Step ParseOne(Parser& r) {
  std::uint8_t b = r.p[0];
  if (b >= 0x20) return ParseText(r);
  switch (b) {
    case HT: return r.Fixed("Tab", "HT", 1, 0);
    case LF: return r.Fixed("LineFeed", "LF", 1, 0);
    case FF: return r.Fixed("FormFeed", "FF", 1, 0);
    case CR: return r.Fixed("CarriageReturn", "CR", 1, 0);
    case CAN: return r.Fixed("CancelPage", "CAN", 1, 0);
    case DLE: return ParseDle(r);
    case ESC: return ParseEsc(r);
    case FS: return ParseFs(r);
    case GS: return ParseGs(r);
    case 0x00: return r.Fixed("Nul", "NUL", 1, 0);
    default: {
      char name[16];
      std::snprintf(name, sizeof name, "0x%02X", b);
      Step s = r.Unknown(1, "unknown control byte");
      r.c.mnemonic = name;
      return s;
    }
  }
}

}  // namespace

std::string Command::ToString() const {
  std::string s = mnemonic.empty() ? op : mnemonic;
  s += " (" + op + ")";
  if (!args.empty()) {
    s += " [";
    for (std::size_t i = 0; i < args.size(); ++i) s += (i ? " " : "") + std::to_string(args[i]);
    s += "]";
  }
  if (!data.empty()) s += " +" + std::to_string(data.size()) + " bytes";
  if (malformed) s += " MALFORMED: " + note;
  else if (!note.empty()) s += " (" + note + ")";
  return s;
}

void Decoder::Feed(const std::uint8_t* data, std::size_t size, std::vector<Command>& out) {
  if (size > 0) buffer_.insert(buffer_.end(), data, data + size);
  while (start_ < buffer_.size()) {
    Command c;
    Parser r{buffer_.data() + start_, buffer_.size() - start_, c, rasterNvImages_};
    Step s = ParseOne(r);
    if (s != Step::Done) {
      if (s == Step::NeedMoreData) {
        // Answer real-time status requests hidden in the data, once each.
        std::size_t from = std::max(scannedTo_, start_);
        for (std::size_t i = from; i + 2 < buffer_.size(); ++i) {
          if (buffer_[i] == DLE && buffer_[i + 1] == 0x04 && buffer_[i + 2] >= 1 && buffer_[i + 2] <= 4) {
            Command rt;
            rt.op = "RealTimeStatus";
            rt.mnemonic = "DLE EOT";
            rt.args = {buffer_[i + 2]};
            rt.offset = consumedTotal_ + (i - start_);
            rt.length = 3;
            rt.realtimeInData = true;
            out.push_back(std::move(rt));
            i += 2;
          }
          scannedTo_ = i + 1;
        }
      }
      break;
    }
    if (r.used == 0) r.used = 1;  // never loop without progress
    c.offset = consumedTotal_;
    c.length = r.used;
    start_ += r.used;
    consumedTotal_ += r.used;
    scannedTo_ = 0;
    out.push_back(std::move(c));
  }
  if (start_ > 0 && (start_ == buffer_.size() || start_ > 4096)) {
    if (scannedTo_ > start_) scannedTo_ -= start_;
    else scannedTo_ = 0;
    buffer_.erase(buffer_.begin(), buffer_.begin() + long(start_));
    start_ = 0;
  }
}

void Decoder::Flush(std::vector<Command>& out) {
  if (start_ >= buffer_.size()) return;
  Command c;
  c.op = "Truncated";
  c.mnemonic = "TRUNCATED";
  c.malformed = true;
  c.note = "stream ended inside a command";
  c.data.assign(buffer_.begin() + long(start_), buffer_.end());
  c.offset = consumedTotal_;
  c.length = buffer_.size() - start_;
  consumedTotal_ += c.length;
  out.push_back(std::move(c));
  Reset();
}

void Decoder::Reset() {
  buffer_.clear();
  start_ = 0;
  scannedTo_ = 0;
}

}  // namespace zanth::sim
