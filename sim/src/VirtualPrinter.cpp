// The virtual printer's machine: applies decoded commands to its state and its paper.
#include "sim/VirtualPrinter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>

#include "Render.h"

namespace zanth::sim {
namespace {

constexpr int kMaxPageHeight = 20000;    // dots; a runaway feed stops growing the page here
constexpr int kMaxAreaSide = 4000;       // page-mode area side limit in dots
constexpr std::size_t kMaxPagesKept = 64;
constexpr std::size_t kMaxLogEntries = 1000000;

int Int16(int v) { return v >= 0x8000 ? v - 0x10000 : v; }

// Scale selector of GS v 0, GS / and FS p: 0 normal, 1 double width, 2 double height, 3 both.
void ScaleOf(int m, int& sx, int& sy) {
  m = (m >= 48 && m <= 51) ? m - 48 : (m & 3);
  sx = (m & 1) ? 2 : 1;
  sy = (m & 2) ? 2 : 1;
}

}  // namespace

struct VirtualPrinter::Machine {
  struct Item {
    int x;
    Image img;
  };
  struct Style {
    int font = 0;
    bool emphasized = false;
    bool doubleStrike = false;
    int underline = 0;
    int widthMul = 1, heightMul = 1;
    bool reverse = false;
    bool upsideDown = false;
    bool rotate90 = false;
    int rightSpacing = 0;
  };
  enum class PacketState { Start, Length, Data, Checksum, End };

  const PrinterConfig& cfg;
  render::GlyphSource glyphs;
  Decoder decoder;
  std::vector<Command> log;
  Bytes replies;
  std::size_t answers = 0;  // reply chunks produced, counted even when silent
  std::size_t bytesReceived = 0;
  PrinterState state;
  PrinterIds ids;
  int asbMask = 0;
  Bytes lastAsb;
  int cuts = 0, pulses = 0, beeps = 0;

  // Packet framing of the second model.
  PacketState packetState = PacketState::Start;
  Bytes packet, junk;
  std::size_t packetLength = 0;
  std::uint8_t packetSum = 0;

  // Character and layout settings. Vertical distances are kept in thousandths of a dot so
  // half-dot motion units add up exactly.
  Style style;
  int justification = 0, leftMargin = 0, areaWidth = 0;
  long long lineSpacing = 30000;  // thousandths of a dot, or units below
  int lineSpacingUnits = -1;       // ESC 3 n as given; -1 the default spacing
  int motionX = 0, motionY = 0;  // GS P; 0 = the configured default
  int codeTable = 0, intlSet = 0;
  bool kanji = false;
  std::uint8_t kanjiLead = 0;
  std::vector<int> tabs;

  // Symbols and images.
  int barcodeHeight = 162, moduleWidth = 3, hriPosition = 0, hriFont = 0;
  render::QrParams qr;
  Bytes qrData;
  render::Pdf417Params pdf;
  Bytes pdfData;
  Image graphicsBuffer;
  std::map<std::pair<int, int>, Image> nvGraphics;
  std::map<int, Image> nvImages;  // FS q, numbered from 1
  Image downloaded;

  // Paper.
  std::vector<Image> pages;
  Image paper;
  int y = 0;
  long long yRest = 0;  // thousandths of a dot fed but not yet a whole dot
  std::vector<std::pair<int, Image>> newCuts;
  bool heightCapped = false;

  // Line being composed.
  std::vector<Item> line;
  int lineX = 0;

  // Page mode.
  bool pageMode = false;
  int areaX = 0, areaY = 0, areaW = 0, areaH = 0, direction = 0;
  Image areaCanvas, pageCanvas;  // areaCanvas is allocated on first use
  int areaLogicalW = 0, areaLogicalH = 0;
  int pageY = 0;  // baseline in the area's own orientation
  long long pageYRest = 0;
  bool pageYSet = false;

  // Input flow: stall, drain rate, power and data held while stopped.
  bool stalled = false;
  int damagedPackets = 0;  // packets still to be taken as damaged on the line
  std::size_t damagedLongerThan = 0;
  std::size_t drainRate = 0;
  double budget = 0;
  std::chrono::steady_clock::time_point refilled = std::chrono::steady_clock::now();
  bool powered = true;
  int powerCycles = 0;
  Bytes held;
  std::size_t heldScanned = 0;
  bool replaying = false;  // decoding held data: its real-time requests were answered on arrival

  explicit Machine(const PrinterConfig& c) : cfg(c), glyphs(c.fontPath), ids(c.ids) {
    decoder.SetRasterNvImages(c.packetFraming);
    paper = Image(cfg.paperWidthDots, 0);
    ResetSettings();
  }

  // ----- replies and status -----
  bool Offline() const { return state.offline || state.coverOpen || state.paperEnd; }
  int DrawerBit() const { return state.drawerOpen == cfg.drawerOpenSensorHigh ? 1 : 0; }

  std::uint8_t RealTime(int n) const {
    switch (n) {
      case 1: return std::uint8_t(0x12 | (DrawerBit() << 2) | (Offline() ? 0x08 : 0));
      case 2: return std::uint8_t(0x12 | (state.coverOpen ? 0x04 : 0) | (state.paperEnd ? 0x20 : 0));
      case 3: return 0x12;
      case 4: return std::uint8_t(0x12 | (state.paperNearEnd ? 0x0C : 0) | (state.paperEnd ? 0x60 : 0));
      default: return 0x12;
    }
  }
  std::uint8_t Transmit(int n) const {
    if (n == 2) return std::uint8_t(DrawerBit());
    return std::uint8_t((state.paperNearEnd ? 0x03 : 0) | (state.paperEnd ? 0x0C : 0));
  }
  Bytes Asb() const {
    return {std::uint8_t(0x10 | (DrawerBit() << 2) | (Offline() ? 0x08 : 0) | (state.coverOpen ? 0x20 : 0)), 0x00,
            std::uint8_t((state.paperNearEnd ? 0x03 : 0) | (state.paperEnd ? 0x0C : 0)), 0x00};
  }
  void Reply(const Bytes& b) {
    ++answers;
    if (!state.silent && powered) replies.insert(replies.end(), b.begin(), b.end());
  }
  void Reply(std::uint8_t b) { Reply(Bytes{b}); }
  void StateChanged() {
    Bytes block = Asb();
    if (asbMask != 0 && block != lastAsb && powered) {
      lastAsb = block;
      if (!state.silent) replies.insert(replies.end(), block.begin(), block.end());
    }
  }

  // ----- log -----
  void Record(Command c) {
    if (log.size() >= kMaxLogEntries) log.erase(log.begin(), log.begin() + long(kMaxLogEntries / 10));
    if (c.op == "Text" && !log.empty() && log.back().op == "Text" && log.back().offset + log.back().length == c.offset) {
      log.back().data.insert(log.back().data.end(), c.data.begin(), c.data.end());
      log.back().length += c.length;
      return;
    }
    log.push_back(std::move(c));
  }
  void Bad(Command& c, const std::string& why) {
    c.malformed = true;
    c.note = why;
  }

  // ----- settings -----
  void ResetSettings() {
    motionX = cfg.motionUnitX;
    motionY = cfg.motionUnitY;
    style = Style{};
    justification = 0;
    leftMargin = 0;
    areaWidth = cfg.paperWidthDots;
    lineSpacing = 1000LL * cfg.defaultLineSpacing;
    lineSpacingUnits = -1;
    codeTable = 0;
    intlSet = 0;
    kanji = false;
    kanjiLead = 0;
    tabs.clear();
    for (int i = 8; i <= 248; i += 8) tabs.push_back(i);
    barcodeHeight = 162;
    moduleWidth = 3;
    hriPosition = 0;
    hriFont = 0;
    qr = {};
    pdf = {};
    line.clear();
    lineX = 0;
    pageMode = false;
    direction = 0;
    areaX = areaY = 0;
    areaW = cfg.paperWidthDots;
    areaH = cfg.pageAreaHeight;
  }

  // ----- motion units -----
  int UnitX() const { return motionX > 0 ? motionX : std::max(1, cfg.dpi); }
  int UnitY() const { return motionY > 0 ? motionY : std::max(1, cfg.dpi); }
  int HDots(int units) const { return int(static_cast<long long>(units) * cfg.dpi / UnitX()); }
  long long VMilli(int units) const { return static_cast<long long>(units) * cfg.dpi * 1000 / UnitY(); }
  int VDots(int units) const { return int(VMilli(units) / 1000); }
  // In page mode with a turned direction the character axis runs along the paper: ESC $ and
  // ESC \ then count vertical units and GS $ and GS \ horizontal ones.
  bool Turned() const { return pageMode && (direction == 1 || direction == 3); }
  int AlongLineDots(int units) const { return Turned() ? VDots(units) : HDots(units); }
  // Feeds and line spacing likewise count horizontal units in a turned page.
  long long AcrossLineMilli(int units) const {
    return Turned() ? static_cast<long long>(units) * cfg.dpi * 1000 / UnitX() : VMilli(units);
  }
  long long LineSpacingMilli() const {
    return lineSpacingUnits < 0 ? lineSpacing : AcrossLineMilli(lineSpacingUnits);
  }
  int AcrossLineDots(int units) const { return Turned() ? HDots(units) : VDots(units); }

  int FontWidth() const { return style.font == 1 ? cfg.fontBWidth : cfg.fontAWidth; }
  int FontHeight() const { return style.font == 1 ? cfg.fontBHeight : cfg.fontAHeight; }
  int LineWidth() const {
    if (pageMode) return areaLogicalW;
    return std::max(0, std::min(areaWidth, cfg.paperWidthDots - leftMargin));
  }

  // ----- paper -----
  void EnsureHeight(int h) {
    if (h > kMaxPageHeight) {
      heightCapped = true;
      h = kMaxPageHeight;
    }
    if (h > paper.height) {
      paper.dots.resize(std::size_t(paper.width) * std::size_t(h), 0);
      paper.height = h;
    }
  }
  void Advance(int dots) {
    if (dots <= 0) return;
    y = std::min(y + dots, kMaxPageHeight);
    EnsureHeight(y);
  }
  void AdvanceMilli(long long milli) {
    if (milli <= 0) return;
    milli += yRest;
    yRest = milli % 1000;
    Advance(int(std::min<long long>(milli / 1000, kMaxPageHeight)));
  }
  void Cut(bool partial) {
    if (!line.empty()) PrintLine(0);
    // The cutter sits above the print line: what was printed in the last cutterDistanceDots
    // has not reached it and stays on the paper for the next page.
    int cutY = std::max(0, y - std::max(0, cfg.cutterDistanceDots));
    Image page(paper.width, cutY + 1);
    auto rows = [&](int from, int to) {
      return std::make_pair(paper.dots.begin() + long(std::size_t(paper.width) * std::size_t(from)),
                            paper.dots.begin() + long(std::size_t(paper.width) * std::size_t(to)));
    };
    auto [begin, end] = rows(0, cutY);
    std::copy(begin, end, page.dots.begin());
    // The cut mark: a dashed row for a full cut, a dotted one for a partial cut.
    for (int x = 0; x < page.width; ++x)
      if (partial ? (x % 4 == 0) : (x % 8 < 4)) page.Set(x, cutY);
    ++cuts;
    newCuts.emplace_back(cuts - 1, page);
    pages.push_back(std::move(page));
    if (pages.size() > kMaxPagesKept) pages.erase(pages.begin());
    Image rest(cfg.paperWidthDots, std::max(0, paper.height - cutY));
    auto [rb, re] = rows(cutY, paper.height);
    std::copy(rb, re, rest.dots.begin());
    paper = std::move(rest);
    y -= cutY;
    heightCapped = false;
  }

  // ----- line composition -----
  void PlaceItem(Image img) {
    int width = LineWidth();
    if (lineX + img.width > width && !line.empty()) PrintLine(LineSpacingMilli());
    if (img.width > width) {
      // Wider than the line: print what fits, as a printer clips at the print area.
      Image clipped(width, img.height);
      render::Blit(clipped, img, 0, 0);
      img = std::move(clipped);
    }
    if (lineX + img.width > width) lineX = std::max(0, width - img.width);
    line.push_back({lineX, std::move(img)});
    lineX += line.back().img.width;
  }

  void PageFeed(long long milli) {
    milli += pageYRest;
    pageYRest = milli % 1000;
    pageY = int(std::min<long long>(pageY + milli / 1000, kMaxAreaSide * 2));
    pageYSet = true;
  }

  // Prints the buffered line and feeds `feed` thousandths of a dot (at least the line's height
  // in standard mode).
  void PrintLine(long long feed) {
    if (line.empty()) {
      if (pageMode) PageFeed(feed);
      else AdvanceMilli(feed);
      lineX = 0;
      return;
    }
    int contentWidth = 0, height = 0;
    for (auto& it : line) {
      contentWidth = std::max(contentWidth, it.x + it.img.width);
      height = std::max(height, it.img.height);
    }
    if (pageMode) {
      if (!pageYSet) pageY = std::max(pageY, height);
      if (areaCanvas.Empty()) areaCanvas = Image(areaLogicalW, areaLogicalH);
      for (auto& it : line) render::Blit(areaCanvas, it.img, it.x, pageY - it.img.height);
      PageFeed(feed);
    } else {
      int width = LineWidth();
      int shift = 0;
      if (contentWidth < width) {
        if (justification == 1) shift = (width - contentWidth) / 2;
        if (justification == 2) shift = width - contentWidth;
      }
      Image strip(width, height);
      for (auto& it : line) render::Blit(strip, it.img, it.x + shift, height - it.img.height);
      if (style.upsideDown) strip = render::Rotate180(strip);
      EnsureHeight(y + height);
      render::Blit(paper, strip, leftMargin, y);
      if (feed >= 1000LL * height) {
        AdvanceMilli(feed);
      } else {
        Advance(height);
        yRest = 0;
      }
    }
    line.clear();
    lineX = 0;
  }

  void PrintObject(Image img) {
    if (img.Empty()) return;
    PlaceItem(std::move(img));
    PrintLine(0);
  }

  Image TextCell(char32_t cp) {
    int fw = FontWidth(), fh = FontHeight();
    Image glyph = render::Scale(glyphs.Glyph(cp, fw, fh), style.widthMul, style.heightMul);
    Image cell((fw + style.rightSpacing) * style.widthMul, fh * style.heightMul);
    render::Blit(cell, glyph, 0, 0);
    if (style.emphasized || style.doubleStrike) render::Blit(cell, glyph, 1, 0);
    for (int t = 0; t < style.underline && t < 2; ++t)
      for (int x = 0; x < cell.width; ++x) cell.Set(x, cell.height - 1 - t);
    if (style.reverse) render::Invert(cell);
    if (style.rotate90) cell = render::RotateCw(cell);
    return cell;
  }

  // ESC R replaces a few ASCII positions with national characters.
  char32_t National(std::uint8_t b) const {
    switch (intlSet) {
      case 2: {  // Germany
        static const std::pair<std::uint8_t, char32_t> map[] = {{0x40, U'\u00A7'}, {0x5B, U'\u00C4'}, {0x5C, U'\u00D6'},
                                                               {0x5D, U'\u00DC'}, {0x7B, U'\u00E4'}, {0x7C, U'\u00F6'},
                                                               {0x7D, U'\u00FC'}, {0x7E, U'\u00DF'}};
        for (auto& [from, to] : map)
          if (b == from) return to;
        break;
      }
      case 3: if (b == 0x23) return U'\u00A3'; break;   // UK: pound sign
      case 8: if (b == 0x5C) return U'\u00A5'; break;   // Japan: yen sign
      case 13: if (b == 0x5C) return U'\u20A9'; break;  // Korea: won sign
      case 15: if (b == 0x24) return U'\u00A5'; break;  // China: yuan sign
    }
    return b;
  }

  void Text(const Bytes& data) {
    for (std::uint8_t b : data) {
      if (kanji && (kanjiLead || b >= 0x80)) {
        // Double-byte mode: a lead byte and its trail byte make one full-width character.
        if (!kanjiLead) {
          kanjiLead = b;
          continue;
        }
        kanjiLead = 0;
        Image cell = render::Scale(glyphs.Glyph(U'?', cfg.fontAHeight, cfg.fontAHeight), style.widthMul, style.heightMul);
        if (style.reverse) render::Invert(cell);
        PlaceItem(std::move(cell));
        continue;
      }
      PlaceItem(TextCell(b < 0x80 ? National(b) : render::DecodeCodeTable(codeTable, b)));
    }
  }

  void Tab() {
    int unit = (cfg.fontAWidth + style.rightSpacing) * style.widthMul;
    for (int t : tabs) {
      int x = t * unit;
      if (x > lineX) {
        if (x <= LineWidth()) lineX = x;
        return;
      }
    }
  }

  Image TextStrip(const std::string& text, int font) {
    int fw = font == 1 ? cfg.fontBWidth : cfg.fontAWidth, fh = font == 1 ? cfg.fontBHeight : cfg.fontAHeight;
    Image strip(int(text.size()) * fw, fh);
    for (std::size_t i = 0; i < text.size(); ++i)
      render::Blit(strip, glyphs.Glyph(char32_t(static_cast<unsigned char>(text[i])), fw, fh), int(i) * fw, 0);
    return strip;
  }

  // ----- page mode -----
  void NewAreaCanvas() {
    bool turned = direction == 1 || direction == 3;
    areaLogicalW = turned ? areaH : areaW;
    areaLogicalH = turned ? areaW : areaH;
    areaCanvas = Image();
    pageY = 0;
    pageYRest = 0;
    pageYSet = false;
    line.clear();
    lineX = 0;
  }
  void EnterPageMode() {
    if (pageMode) return;
    if (!line.empty()) PrintLine(0);
    pageMode = true;
    pageCanvas = Image(cfg.paperWidthDots, 0);
    NewAreaCanvas();
  }
  void CommitArea() {
    if (areaCanvas.Empty()) return;
    Image img;
    switch (direction) {
      case 1: img = render::RotateCcw(areaCanvas); break;  // bottom to top, starting lower left
      case 2: img = render::Rotate180(areaCanvas); break;  // right to left, starting lower right
      case 3: img = render::RotateCw(areaCanvas); break;   // top to bottom, starting upper right
      default: img = areaCanvas; break;
    }
    int needed = std::min(areaY + areaH, kMaxPageHeight);
    if (needed > pageCanvas.height) {
      pageCanvas.dots.resize(std::size_t(pageCanvas.width) * std::size_t(needed), 0);
      pageCanvas.height = needed;
    }
    render::Blit(pageCanvas, img, areaX, areaY);
    areaCanvas = Image();
  }
  void PrintPage(bool stayInPageMode) {
    if (!line.empty()) PrintLine(0);
    CommitArea();
    if (pageCanvas.height > 0) {
      EnsureHeight(y + pageCanvas.height);
      render::Blit(paper, pageCanvas, 0, y);
      Advance(pageCanvas.height);
    }
    if (stayInPageMode) {
      line.clear();
      lineX = 0;
      return;
    }
    pageMode = false;
    pageCanvas = Image();
    areaCanvas = Image();
    areaX = areaY = 0;
    areaW = cfg.paperWidthDots;
    areaH = cfg.pageAreaHeight;
    line.clear();
    lineX = 0;
  }

  // ----- symbols -----
  Image WithHri(Image bars, const std::string& text) {
    if (hriPosition == 0 || text.empty()) return bars;
    Image label = TextStrip(text, (hriFont == 1 || hriFont == 49) ? 1 : 0);
    bool above = hriPosition == 1 || hriPosition == 3, below = hriPosition == 2 || hriPosition == 3;
    int gap = 2;
    int width = std::max(bars.width, label.width);
    int height = bars.height + (above ? label.height + gap : 0) + (below ? label.height + gap : 0);
    Image out(width, height);
    int yy = 0;
    if (above) {
      render::Blit(out, label, (width - label.width) / 2, 0);
      yy = label.height + gap;
    }
    render::Blit(out, bars, (width - bars.width) / 2, yy);
    if (below) render::Blit(out, label, (width - label.width) / 2, yy + bars.height + gap);
    return out;
  }

  void DefineNv(Command& c) {
    // Either the standard layout "a kc1 kc2 b xL xH yL yH [c data]..." or the one without
    // the leading a; the declared sizes tell which one the block follows.
    const Bytes& d = c.data;
    for (int withA = 1; withA >= 0; --withA) {
      std::size_t base = std::size_t(withA);
      if (d.size() < base + 7) continue;
      int planes = d[base + 2];
      std::size_t w = d[base + 3] | (d[base + 4] << 8), h = d[base + 5] | (d[base + 6] << 8);
      std::size_t planeBytes = h * ((w + 7) / 8);
      if (planes < 1 || planes > 2) continue;
      if (d.size() != base + 7 + std::size_t(planes) * (1 + planeBytes)) continue;
      nvGraphics[{d[base], d[base + 1]}] = render::FromRaster(d.data() + base + 8, planeBytes, int(w), int(h), cfg.paperWidthDots);
      if (!withA) c.note = "define without the a byte";
      return;
    }
    Bad(c, "NV graphics sizes do not match the data");
  }

  void DefineFsQ(Command& c) {
    const Bytes& d = c.data;
    nvImages.clear();
    std::size_t pos = 0;
    bool raster = decoder.RasterNvImages();
    for (int i = 1; i <= c.Arg(0, 0) && pos + 4 <= d.size(); ++i) {
      int w = d[pos] | (d[pos + 1] << 8), h = d[pos + 2] | (d[pos + 3] << 8);
      std::size_t bytes = raster ? std::size_t(h) * std::size_t((w + 7) / 8) : std::size_t(w) * std::size_t(h) * 8;
      pos += 4;
      std::size_t have = std::min(bytes, d.size() - pos);
      nvImages[i] = raster ? render::FromRaster(d.data() + pos, have, w, h, cfg.paperWidthDots)
                           : render::FromColumns(d.data() + pos, have, w * 8, h);
      pos += bytes;
    }
  }

  void Symbol2D(Command& c) {
    const std::string& op = c.op;
    int a0 = c.data.empty() ? -1 : c.data[0];
    std::string error;
    if (op == "Qr.ModuleSize") {
      if (a0 >= 1 && a0 <= 16) qr.moduleSize = a0; else Bad(c, "module size outside 1..16");
    } else if (op == "Qr.ErrorCorrection") {
      if (a0 >= 48 && a0 <= 51) qr.errorCorrection = a0; else Bad(c, "error correction outside 48..51");
    } else if (op == "Qr.Store" || op == "Pdf417.Store") {
      Bytes payload = c.data.size() > 1 ? Bytes(c.data.begin() + 1, c.data.end()) : Bytes{};
      (op == "Qr.Store" ? qrData : pdfData) = std::move(payload);
    } else if (op == "Qr.Print") {
      c.symbolData = qrData;
      Image img = render::QrCode(qrData, qr, &error);
      if (img.Empty()) Bad(c, "QR Code not printed: " + error);
      PrintObject(std::move(img));
    } else if (op == "Pdf417.Columns") {
      pdf.columns = a0;
    } else if (op == "Pdf417.Rows") {
      pdf.rows = a0;
    } else if (op == "Pdf417.ModuleWidth") {
      if (a0 >= 2 && a0 <= 8) pdf.moduleWidth = a0; else Bad(c, "module width outside 2..8");
    } else if (op == "Pdf417.RowHeight") {
      if (a0 >= 2 && a0 <= 8) pdf.rowHeight = a0; else Bad(c, "row height outside 2..8");
    } else if (op == "Pdf417.ErrorCorrection") {
      if (a0 == 48 && c.data.size() > 1) pdf.errorLevel = c.data[1] - 48;
      else pdf.errorLevel = -1;
    } else if (op == "Pdf417.Options") {
      pdf.truncated = a0 == 1;
    } else if (op == "Pdf417.Print") {
      c.symbolData = pdfData;
      Image img = render::Pdf417(pdfData, pdf, &error);
      if (img.Empty()) Bad(c, "PDF417 not printed: " + error);
      PrintObject(std::move(img));
    }
  }

  void Graphics(Command& c) {
    const std::string& op = c.op;
    const Bytes& d = c.data;
    if (op == "Graphics.StoreRaster") {
      // a bx by c xL xH yL yH data
      if (d.size() < 8) return Bad(c, "raster header too short");
      int bx = d[1] == 2 ? 2 : 1, by = d[2] == 2 ? 2 : 1;
      int w = d[4] | (d[5] << 8), h = d[6] | (d[7] << 8);
      std::size_t need = std::size_t(h) * std::size_t((w + 7) / 8);
      if (d.size() - 8 < need) Bad(c, "raster data shorter than its size");
      graphicsBuffer = render::Scale(render::FromRaster(d.data() + 8, d.size() - 8, w, h, cfg.paperWidthDots), bx, by);
    } else if (op == "Graphics.PrintBuffered") {
      PrintObject(std::move(graphicsBuffer));
      graphicsBuffer = Image();
    } else if (op == "Graphics.DefineNv") {
      DefineNv(c);
    } else if (op == "Graphics.PrintNv") {
      if (d.size() < 4) return Bad(c, "print NV graphics needs kc1 kc2 x y");
      auto it = nvGraphics.find({d[0], d[1]});
      if (it == nvGraphics.end()) return Bad(c, "no NV graphics with that key");
      PrintObject(render::Scale(it->second, d[2] == 2 ? 2 : 1, d[3] == 2 ? 2 : 1));
    } else if (op == "Graphics.DeleteAll") {
      nvGraphics.clear();
    } else if (op == "Graphics.Delete") {
      if (d.size() >= 2) nvGraphics.erase({d[0], d[1]});
    }
  }

  // ----- dispatch -----
  void Apply(Command& c) {
    if (c.malformed) return;  // a printer ignores what it cannot parse
    const std::string& op = c.op;
    int a0 = c.Arg(0, 0);
    if (op == "Text") return Text(c.data);
    if (op == "LineFeed") return PrintLine(LineSpacingMilli());
    if (op == "FeedDots") return PrintLine(AcrossLineMilli(a0));
    if (op == "FeedLines") return PrintLine(a0 * LineSpacingMilli());
    if (op == "Tab") return Tab();
    if (op == "FormFeed") {
      if (pageMode) PrintPage(false);
      return;
    }
    if (op == "PrintPage") {
      if (pageMode) PrintPage(true);
      return;
    }
    if (op == "CancelPage") {
      if (pageMode) NewAreaCanvas();
      return;
    }
    if (op == "RealTimeStatus") {
      // Held data's requests were answered on arrival; counting them keeps a packet's
      // acknowledgement from following late.
      if (a0 >= 1 && a0 <= 4) {
        if (replaying) ++answers;
        else Reply(RealTime(a0));
      }
      return;
    }
    if (op == "RealTimePulse") return Pulse();
    if (op == "RealTimeClearBuffers") {
      line.clear();
      lineX = 0;
      if (pageMode) NewAreaCanvas();
      return;
    }
    if (op == "Initialize") {
      ResetSettings();
      downloaded = Image();  // a reset loses the downloaded image, as ESC & does
      graphicsBuffer = Image();
      return;
    }
    if (op == "PrintMode") {
      style.font = (a0 & 0x01) ? 1 : 0;
      style.emphasized = a0 & 0x08;
      style.heightMul = (a0 & 0x10) ? 2 : 1;
      style.widthMul = (a0 & 0x20) ? 2 : 1;
      style.underline = (a0 & 0x80) ? 1 : 0;
      return;
    }
    if (op == "CharacterSize") {
      style.widthMul = ((a0 >> 4) & 7) + 1;
      style.heightMul = (a0 & 7) + 1;
      if (a0 & 0x88) Bad(c, "size outside 1..8");
      return;
    }
    if (op == "Font") {
      if (a0 == 0 || a0 == 48) style.font = 0;
      else if (a0 == 1 || a0 == 49) style.font = 1;
      else Bad(c, "font outside 0, 1, 48, 49");
      return;
    }
    if (op == "Emphasized") { style.emphasized = a0 & 1; return; }
    if (op == "DoubleStrike") { style.doubleStrike = a0 & 1; return; }
    if (op == "Underline") {
      int n = (a0 >= 48 && a0 <= 50) ? a0 - 48 : a0;
      if (n > 2) return Bad(c, "underline outside 0..2");
      style.underline = n;
      return;
    }
    if (op == "Reverse") { style.reverse = a0 & 1; return; }
    if (op == "UpsideDown") {
      // Taken only at the beginning of a line, as printers do.
      if (!line.empty() && !pageMode) {
        c.note = "ignored: not at the beginning of a line";
        return;
      }
      style.upsideDown = a0 & 1;
      return;
    }
    if (op == "Rotate90") { style.rotate90 = (a0 & 1) || a0 == 2 || a0 == 50; return; }
    if (op == "RightSpacing") { style.rightSpacing = AlongLineDots(a0); return; }
    if (op == "Justification") {
      int n = (a0 >= 48 && a0 <= 50) ? a0 - 48 : a0;
      if (n > 2) return Bad(c, "justification outside 0..2, 48..50");
      // Taken only at the beginning of a line, as printers do.
      if (!line.empty() && !pageMode) {
        c.note = "ignored: not at the beginning of a line";
        return;
      }
      justification = n;
      return;
    }
    if (op == "LeftMargin") { leftMargin = std::min(HDots(a0), cfg.paperWidthDots - 1); return; }
    if (op == "PrintAreaWidth") { areaWidth = a0 == 0 ? cfg.paperWidthDots : HDots(a0); return; }
    if (op == "LineSpacing") {
      lineSpacing = VMilli(a0);
      lineSpacingUnits = a0;
      return;
    }
    if (op == "DefaultLineSpacing") {
      lineSpacing = 1000LL * cfg.defaultLineSpacing;
      lineSpacingUnits = -1;
      return;
    }
    if (op == "MotionUnits") {
      // GS P x y: 0 restores the default of that direction; set values count from now on.
      motionX = c.Arg(0, 0) == 0 ? cfg.motionUnitX : c.Arg(0, 0);
      motionY = c.Arg(1, 0) == 0 ? cfg.motionUnitY : c.Arg(1, 0);
      return;
    }
    if (op == "AbsolutePosition") {
      int x = AlongLineDots(a0);
      if (x < LineWidth()) lineX = x;
      return;
    }
    if (op == "RelativePosition") {
      int x = lineX + AlongLineDots(Int16(a0));
      if (x >= 0 && x < LineWidth()) lineX = x;
      return;
    }
    if (op == "AbsoluteVerticalPosition") {
      if (pageMode) {
        if (!line.empty()) PrintLine(0);  // what is buffered stays where it was placed
        pageY = AcrossLineDots(a0);
        pageYRest = 0;
        pageYSet = true;
      }
      return;
    }
    if (op == "RelativeVerticalPosition") {
      if (pageMode) {
        if (!line.empty()) PrintLine(0);
        pageY = std::max(0, pageY + AcrossLineDots(Int16(a0)));
        pageYSet = true;
      }
      return;
    }
    if (op == "CodeTable") { codeTable = a0; return; }
    if (op == "InternationalSet") { intlSet = a0; return; }
    if (op == "KanjiOn") { kanji = true; return; }
    if (op == "KanjiOff") {
      kanji = false;
      kanjiLead = 0;
      return;
    }
    if (op == "TabPositions") {
      if (!c.malformed) tabs.assign(c.args.begin(), c.args.end());
      return;
    }
    if (op == "PageMode") return EnterPageMode();
    if (op == "StandardMode") {
      if (pageMode) {
        pageMode = false;
        line.clear();
        lineX = 0;
        areaW = cfg.paperWidthDots;
        areaH = cfg.pageAreaHeight;
        areaX = areaY = 0;
      }
      return;
    }
    if (op == "PageArea") {
      int x = HDots(c.Arg(0)), yy = VDots(c.Arg(1)), w = HDots(c.Arg(2)), h = VDots(c.Arg(3));
      if (w == 0 || h == 0) return Bad(c, "empty page area");
      if (x >= cfg.paperWidthDots) return Bad(c, "page area starts beyond the paper");
      // Data already buffered keeps its place in the old area.
      if (pageMode && !line.empty()) PrintLine(0);
      if (pageMode) CommitArea();
      areaX = x;
      areaY = std::min(yy, kMaxAreaSide);
      areaW = std::min(w, cfg.paperWidthDots - x);
      areaH = std::min(h, kMaxAreaSide);
      if (pageMode) NewAreaCanvas();
      return;
    }
    if (op == "PageDirection") {
      int n = (a0 >= 48 && a0 <= 51) ? a0 - 48 : a0;
      if (n > 3) return Bad(c, "direction outside 0..3, 48..51");
      if (pageMode && !line.empty()) PrintLine(0);
      if (pageMode) CommitArea();
      direction = n;
      if (pageMode) NewAreaCanvas();
      return;
    }
    if (op == "Cut") {
      int m = a0;
      if (m == 65 || m == 66 || (m >= 97 && m <= 100)) {
        // Feed to the cutting position plus n vertical units, then cut.
        if (!line.empty()) PrintLine(0);
        Advance(std::max(0, cfg.cutterDistanceDots));
        AdvanceMilli(VMilli(c.Arg(1, 0)));
      }
      bool partial = m == 1 || m == 49 || m == 66 || m == 98 || m == 100 || c.mnemonic == "ESC m";
      Cut(partial);
      return;
    }
    if (op == "Pulse") {
      if (!(a0 == 0 || a0 == 1 || a0 == 48 || a0 == 49)) return Bad(c, "pin outside 0, 1, 48, 49");
      return Pulse();
    }
    if (op == "Buzzer") {
      // ESC ( A: fn 97 (61) "d count t1 t2" repeats count times; other forms beep once.
      if (c.data.size() >= 3 && c.data[0] == 0x61) beeps += std::max(1, int(c.data[2]));
      else beeps += 1;
      return;
    }
    if (op == "TransmitStatus") {
      if (a0 == 1 || a0 == 49) Reply(Transmit(1));
      else if (a0 == 2 || a0 == 50) Reply(Transmit(2));
      else Bad(c, "GS r n outside 1, 2, 49, 50");
      return;
    }
    if (op == "TransmitPrinterId") return PrinterId(c);
    if (op == "AutoStatusBack") {
      asbMask = a0;
      if (asbMask != 0) {
        lastAsb = Asb();
        Reply(lastAsb);
      }
      return;
    }
    if (op == "BitImage") {
      int m = a0, n = c.Arg(1, 0);
      bool tall = m >= 32;
      Image img = render::FromColumns(c.data.data(), c.data.size(), n, tall ? 3 : 1);
      // 8-dot modes are a third of the vertical density; single density halves the horizontal.
      img = render::Scale(img, (m == 0 || m == 32) ? 2 : 1, tall ? 1 : 3);
      PlaceItem(std::move(img));
      return;
    }
    if (op == "RasterImage") {
      int sx, sy;
      ScaleOf(a0, sx, sy);
      PrintObject(render::Scale(render::FromRaster(c.data.data(), c.data.size(), c.Arg(1) * 8, c.Arg(2), cfg.paperWidthDots), sx, sy));
      return;
    }
    if (op == "DefineDownloadedImage") {
      if (!c.malformed) downloaded = render::FromColumns(c.data.data(), c.data.size(), c.Arg(0) * 8, c.Arg(1));
      return;
    }
    if (op == "PrintDownloadedImage") {
      if (downloaded.Empty()) return Bad(c, "no downloaded image defined");
      int sx, sy;
      ScaleOf(a0, sx, sy);
      PrintObject(render::Scale(downloaded, sx, sy));
      return;
    }
    if (op == "DefineUserChars") {
      downloaded = Image();
      return;
    }
    if (op == "DefineNvImages") return DefineFsQ(c);
    if (op == "PrintNvImage") {
      auto it = nvImages.find(a0);
      if (it == nvImages.end()) return Bad(c, "no NV image with that number");
      int sx, sy;
      ScaleOf(c.Arg(1, 0), sx, sy);
      PrintObject(render::Scale(it->second, sx, sy));
      return;
    }
    if (op == "BarcodeHeight") {
      if (a0 >= 1) barcodeHeight = a0;
      else Bad(c, "height 0");
      return;
    }
    if (op == "BarcodeModuleWidth") {
      if (a0 >= 1 && a0 <= 6) moduleWidth = a0;
      else Bad(c, "module width outside 1..6");
      return;
    }
    if (op == "HriPosition") {
      int n = (a0 >= 48 && a0 <= 51) ? a0 - 48 : a0;
      if (n > 3) return Bad(c, "HRI position outside 0..3, 48..51");
      hriPosition = n;
      return;
    }
    if (op == "HriFont") { hriFont = a0; return; }
    if (op == "Barcode") {
      if (c.malformed) return;
      std::string error;
      Image bars = render::Barcode1D(a0, c.data, moduleWidth, barcodeHeight, &error);
      if (bars.Empty()) return Bad(c, "barcode not printed: " + error);
      int system = a0 <= 6 ? a0 + 65 : a0;
      PrintObject(WithHri(std::move(bars), render::BarcodeText(system, c.data)));
      return;
    }
    if (op.rfind("Qr.", 0) == 0 || op.rfind("Pdf417.", 0) == 0) return Symbol2D(c);
    if (op.rfind("Graphics.", 0) == 0) return Graphics(c);
    if (op == "LineSegments") {
      // The second model draws one dot row with each segment (start and end in dots from the
      // left edge, either order); a line of its own.
      Image row(cfg.paperWidthDots, 1);
      for (std::size_t i = 1; i + 1 < c.args.size(); i += 2) {
        int from = std::min(c.args[i], c.args[i + 1]), to = std::max(c.args[i], c.args[i + 1]);
        for (int x = from; x <= to && x < row.width; ++x) row.Set(x, 0);
      }
      PrintObject(std::move(row));
      return;
    }
    if (op == "CurvedText") return CurvedText(c);
  }

  // The second model's curved text: layout 0 arches the text over a circle (ends low, tops
  // outward), layout 1 bends it under one (ends high, tops inward); the first character starts
  // at the horizontal position. The arc spans a quarter circle whatever the length.
  void CurvedText(Command& c) {
    int layout = c.Arg(0, 0), x0 = c.Arg(1, 0);
    if (layout != 0 && layout != 1) return Bad(c, "curved-text layout outside 0, 1");
    if (c.data.empty()) return;
    int fw = cfg.fontAWidth, fh = cfg.fontAHeight, n = int(c.data.size());
    double length = double(n) * fw;
    double radius = std::max(length / (M_PI / 2), 3.0 * fh);
    double half = length / 2 / radius;  // angle of the outermost character's centre
    int sag = int(std::ceil(radius * (1 - std::cos(half))));
    Image canvas(LineWidth(), sag + 2 * fh);
    // The arc draws the characters closer together across the paper than along the line;
    // it is placed so that the first character's cell still begins at x0.
    double firstTheta = (0.5 * fw - length / 2) / radius;
    double centreX = x0 + 0.5 * fw - radius * std::sin(firstTheta);
    for (int i = 0; i < n; ++i) {
      double theta = ((i + 0.5) * fw - length / 2) / radius;
      double drop = radius * (1 - std::cos(theta));
      double cx = centreX + radius * std::sin(theta);
      double cy = fh + (layout == 0 ? drop : sag - drop);
      char32_t cp = c.data[std::size_t(i)] < 0x80 ? c.data[std::size_t(i)] : render::DecodeCodeTable(codeTable, c.data[std::size_t(i)]);
      Image glyph = render::RotateBy(glyphs.Glyph(cp, fw, fh), layout == 0 ? theta : -theta);
      render::Blit(canvas, glyph, int(std::lround(cx - glyph.width / 2.0)), int(std::lround(cy - glyph.height / 2.0)));
    }
    PrintObject(std::move(canvas));
  }

  // ----- input flow -----
  bool StoppedByState() const { return cfg.stopsWhenOffline && (state.coverOpen || state.paperEnd); }

  // While stopped, bytes wait in the input buffer; real-time status requests among them are
  // answered as they arrive (they are not answered again when the data is processed).
  void Hold(const std::uint8_t* data, std::size_t size) {
    held.insert(held.end(), data, data + size);
    for (; heldScanned + 2 < held.size(); ++heldScanned)
      if (held[heldScanned] == 0x10 && held[heldScanned + 1] == 0x04 && held[heldScanned + 2] >= 1 && held[heldScanned + 2] <= 4) {
        Reply(RealTime(held[heldScanned + 2]));
        heldScanned += 2;
      }
  }
  void Input(const std::uint8_t* data, std::size_t size) {
    if (cfg.packetFraming) Deframe(data, size);
    else Decode(data, size);
  }
  void ReleaseHeld() {
    if (held.empty() || StoppedByState()) return;
    Bytes pending;
    pending.swap(held);
    heldScanned = 0;
    replaying = true;
    Input(pending.data(), pending.size());
    replaying = false;
  }
  void Take(const std::uint8_t* data, std::size_t size) {
    if (!powered) return;  // nobody is listening
    bytesReceived += size;
    if (drainRate > 0) budget -= double(size);
    if (StoppedByState() || !held.empty()) Hold(data, size);
    else Input(data, size);
  }
  void Refill() {
    auto now = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(now - refilled).count();
    refilled = now;
    if (drainRate == 0) return;
    // A short burst at most: a head that prints at its pace does not catch up afterwards.
    double cap = std::max(64.0, double(drainRate) / 20);
    budget = std::min(cap, budget + seconds * double(drainRate));
  }
  std::size_t Allowance(std::chrono::milliseconds* retry) {
    Refill();
    auto wait = [&](long ms) {
      if (retry) *retry = std::chrono::milliseconds(ms);
      return std::size_t(0);
    };
    if (!powered || stalled) return wait(50);
    if (!held.empty() && held.size() >= cfg.inputBufferBytes) return wait(20);
    std::size_t room = std::numeric_limits<std::size_t>::max();
    if (!held.empty() || StoppedByState()) room = cfg.inputBufferBytes - std::min(cfg.inputBufferBytes, held.size());
    if (drainRate > 0) {
      if (budget < 1) return wait(long(std::ceil((1 - budget) * 1000 / double(drainRate))) + 1);
      room = std::min(room, std::size_t(budget));
    }
    return room;
  }
  void PowerOff() {
    powered = false;
    decoder.Reset();
    held.clear();
    heldScanned = 0;
    replies.clear();
    packetState = PacketState::Start;
    packet.clear();
    junk.clear();
  }
  void PowerOn() {
    powered = true;
    ++powerCycles;
    ResetSettings();
    downloaded = Image();
    graphicsBuffer = Image();
    qrData.clear();
    pdfData.clear();
    asbMask = 0;
    lastAsb.clear();
    pageCanvas = Image();
    areaCanvas = Image();
  }

  void Pulse() {
    ++pulses;
    if (cfg.pulseOpensDrawer && !state.drawerOpen) {
      state.drawerOpen = true;
      StateChanged();
    }
  }

  void PrinterId(Command& c) {
    int n = c.Arg(0, 0);
    if (n >= 49 && n <= 51) n -= 48;
    auto text = [&](const std::string& s) {
      Bytes b{'_'};
      b.insert(b.end(), s.begin(), s.end());
      b.push_back(0);
      Reply(b);
    };
    switch (n) {
      case 1: Reply(ids.modelId); break;
      case 2: Reply(ids.typeId); break;
      case 3: Reply(ids.romVersion); break;
      case 65: text(ids.firmware); break;
      case 66: text(ids.maker); break;
      case 67: text(ids.model); break;
      case 68: text(ids.serial); break;
      case 69: text(ids.fontInfo); break;
      default: Bad(c, "GS I n not answered"); break;
    }
  }

  void Decode(const std::uint8_t* data, std::size_t size) {
    std::vector<Command> cmds;
    decoder.Feed(data, size, cmds);
    for (auto& c : cmds) {
      Apply(c);
      Record(std::move(c));
    }
  }

  void FlushJunk() {
    if (junk.empty()) return;
    Command c;
    c.op = "OutsidePacket";
    c.mnemonic = "JUNK";
    c.malformed = true;
    c.note = "bytes outside a packet";
    c.data = std::move(junk);
    junk.clear();
    Record(std::move(c));
  }

  void Deframe(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      std::uint8_t b = data[i];
      switch (packetState) {
        case PacketState::Start:
          if (b == 0xAA) {
            FlushJunk();
            packetState = PacketState::Length;
          } else {
            junk.push_back(b);
          }
          break;
        case PacketState::Length:
          packetLength = b;
          packet.clear();
          packetState = b ? PacketState::Data : PacketState::Checksum;
          break;
        case PacketState::Data:
          packet.push_back(b);
          if (packet.size() == packetLength) packetState = PacketState::Checksum;
          break;
        case PacketState::Checksum:
          packetSum = b;
          packetState = PacketState::End;
          break;
        case PacketState::End: {
          std::uint8_t sum = 0;
          for (auto p : packet) sum ^= p;
          bool ok = b == 0xBB && sum == packetSum;
          const bool damaged = ok && damagedPackets > 0 && packet.size() > damagedLongerThan;
          if (damaged) {
            --damagedPackets;
            ok = false;
          }
          Command pc;
          pc.op = ok ? "Packet" : "BadPacket";
          pc.mnemonic = "PACKET";
          pc.args = {int(packetLength), packetSum, b};
          if (!ok)
            Bad(pc, damaged     ? "packet damaged on the line"
                    : b != 0xBB ? "packet does not end with BB"
                                : "packet checksum mismatch");
          Record(std::move(pc));
          packetState = PacketState::Start;
          if (ok) {
            std::size_t before = answers;
            Decode(packet.data(), packet.size());
            if (answers == before) Reply(kPacketAck);
          } else {
            Reply(kPacketNak);
            if (b == 0xAA) packetState = PacketState::Length;  // resynchronise on a new start
          }
          break;
        }
      }
    }
  }
};

PrinterConfig PrinterConfig::ForModel(std::string_view name) {
  static const std::pair<const char*, int> k80mm[] = {
      {"KR-11", 2400}, {"KR-12", 2400}, {"LM301", 2300}, {"LM303", 2400}, {"LM305", 2200}, {"LM306", 2400},
      {"ZQ-1A", 2300}, {"ZQ-1B", 2200}, {"ZQ-1C", 2400}, {"RHO-1", 2400}, {"RHO-1e", 2300}, {"NV-21", 2300},
      {"NV-20", 2400}, {"KW-8", 2400}, {"GX-50", 2200}, {"GX-60", 2300}, {"IS-2", 2200}, {"QS-1", 2200},
      {"QS-2", 2400}, {"K15SMB", 2600}, {"K15", 2600}};
  static const char* const k58mm[] = {"LMX-A", "ZQ-2A", "ZQ-2B", "ZQ-2D", "OR-1", "IS-1"};
  PrinterConfig c;
  c.ids.model = std::string(name);
  // Cutter distances are in hundredths of a millimetre, converted at the head's dot pitch.
  auto set = [&](int width, int dpi, double pitchMm, bool halfDotFeed, int cutHundredths, int fontBHeight) {
    c.paperWidthDots = width;
    c.dpi = dpi;
    c.motionUnitX = dpi;
    c.motionUnitY = halfDotFeed ? 2 * dpi : dpi;
    c.cutterDistanceDots = int(std::lround(cutHundredths / 100.0 / pitchMm));
    c.fontBHeight = fontBHeight;
    c.defaultLineSpacing = 30;
  };
  if (name == "TM-T88IV") {
    set(512, 180, 0.141, true, 2100, 17);
    c.pageAreaHeight = 1000;
    return c;
  }
  for (auto& [model, cut] : k80mm)
    if (name == model) {
      set(576, 203, 0.125, true, cut, 17);
      c.pageAreaHeight = 936;
      c.packetFraming = name.rfind("K15", 0) == 0;
      return c;
    }
  for (const char* model : k58mm)
    if (name == model) {
      set(384, 203, 0.125, false, 800, 16);
      return c;
    }
  return c;
}

VirtualPrinter::VirtualPrinter(PrinterConfig config)
    : config_(std::move(config)), machine_(std::make_unique<Machine>(config_)) {}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::Notify(bool replies, std::vector<std::pair<int, Image>> cuts) {
  std::function<void()> notifier;
  std::function<void(int, const Image&)> listener;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notifier = replyNotifier_;
    listener = cutListener_;
  }
  if (replies && notifier) notifier();
  if (listener)
    for (auto& [index, page] : cuts) listener(index, page);
  {
    std::lock_guard<std::mutex> lock(waitMutex_);
    ++generation_;
  }
  changed_.notify_all();
}

void VirtualPrinter::Feed(const std::uint8_t* data, std::size_t size) {
  bool replies;
  std::vector<std::pair<int, Image>> cuts;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Machine& m = *machine_;
    m.Take(data, size);
    replies = !m.replies.empty();
    cuts.swap(m.newCuts);
  }
  Notify(replies, std::move(cuts));
}

void VirtualPrinter::EndOfStream() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Machine& m = *machine_;
    std::vector<Command> cmds;
    m.decoder.Flush(cmds);
    for (auto& c : cmds) m.Record(std::move(c));
    m.FlushJunk();
    m.packetState = Machine::PacketState::Start;
  }
  Notify(false, {});
}

Bytes VirtualPrinter::TakeReplies() {
  std::lock_guard<std::mutex> lock(mutex_);
  Bytes out;
  out.swap(machine_->replies);
  return out;
}

void VirtualPrinter::ClearReplies() {
  std::lock_guard<std::mutex> lock(mutex_);
  machine_->replies.clear();
}

void VirtualPrinter::SetReplyNotifier(std::function<void()> notifier) {
  std::lock_guard<std::mutex> lock(mutex_);
  replyNotifier_ = std::move(notifier);
}

void VirtualPrinter::SetState(const PrinterState& state) {
  bool replies;
  std::vector<std::pair<int, Image>> cuts;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    machine_->state = state;
    machine_->StateChanged();
    machine_->ReleaseHeld();
    replies = !machine_->replies.empty();
    cuts.swap(machine_->newCuts);
  }
  Notify(replies, std::move(cuts));
}

void VirtualPrinter::SetStalled(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    machine_->stalled = on;
  }
  Notify(true, {});  // wakes the transport so it reads again at once
}

void VirtualPrinter::DamagePackets(int count, std::size_t longerThan) {
  std::lock_guard<std::mutex> lock(mutex_);
  machine_->damagedPackets = count;
  machine_->damagedLongerThan = longerThan;
}

bool VirtualPrinter::Stalled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->stalled;
}

void VirtualPrinter::SetDrainRate(std::size_t bytesPerSecond) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    machine_->Refill();
    machine_->drainRate = bytesPerSecond;
    machine_->budget = 0;
  }
  Notify(true, {});
}

std::size_t VirtualPrinter::DrainRate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->drainRate;
}

void VirtualPrinter::SetPower(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Machine& m = *machine_;
    if (m.powered == on) return;
    if (on) m.PowerOn();
    else m.PowerOff();
  }
  Notify(true, {});  // the transport drops or reopens its connection
}

bool VirtualPrinter::Powered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->powered;
}

int VirtualPrinter::PowerCycles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->powerCycles;
}

bool VirtualPrinter::Stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->StoppedByState();
}

std::size_t VirtualPrinter::BytesWaiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->held.size();
}

std::size_t VirtualPrinter::InputAllowance(std::chrono::milliseconds* retry) {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->Allowance(retry);
}

Bytes VirtualPrinter::StoredPdf417Data() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->pdfData;
}

Bytes VirtualPrinter::StoredQrData() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->qrData;
}

PrinterState VirtualPrinter::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->state;
}

void VirtualPrinter::SetCoverOpen(bool on) { auto s = State(); s.coverOpen = on; SetState(s); }
void VirtualPrinter::SetPaperEnd(bool on) { auto s = State(); s.paperEnd = on; SetState(s); }
void VirtualPrinter::SetPaperNearEnd(bool on) { auto s = State(); s.paperNearEnd = on; SetState(s); }
void VirtualPrinter::SetDrawerOpen(bool on) { auto s = State(); s.drawerOpen = on; SetState(s); }
void VirtualPrinter::SetOffline(bool on) { auto s = State(); s.offline = on; SetState(s); }
void VirtualPrinter::SetSilent(bool on) { auto s = State(); s.silent = on; SetState(s); }

void VirtualPrinter::SetIds(const PrinterIds& ids) {
  std::lock_guard<std::mutex> lock(mutex_);
  machine_->ids = ids;
}

bool VirtualPrinter::ApplyStateCommand(std::string_view text, std::string* error) {
  std::string lower;
  for (char ch : text) lower += char(std::tolower(static_cast<unsigned char>(ch)));
  std::istringstream in(lower);
  std::string what, how;
  in >> what >> how;
  PrinterState s = State();
  auto on = [&](const char* yes, const char* no, bool& field) {
    if (how == yes) field = true;
    else if (how == no) field = false;
    else return false;
    return true;
  };
  bool ok = true;
  if (what == "cover") ok = on("open", "closed", s.coverOpen) || on("open", "close", s.coverOpen);
  else if (what == "drawer") ok = on("open", "closed", s.drawerOpen) || on("open", "close", s.drawerOpen);
  else if (what == "paper") {
    if (how == "end" || how == "out") s.paperEnd = true;
    else if (how == "ok" || how == "in") s.paperEnd = s.paperNearEnd = false;
    else if (how == "near-end" || how == "near" || how == "low") s.paperNearEnd = true;
    else ok = false;
  } else if (what == "stall" || what == "slow" || what == "power") {
    if (what == "stall" && (how == "on" || how == "off")) SetStalled(how == "on");
    else if (what == "power" && (how == "on" || how == "off")) SetPower(how == "on");
    else if (what == "slow" && how == "off") SetDrainRate(0);
    else if (what == "slow" && !how.empty() && how.size() < 10 && std::all_of(how.begin(), how.end(), ::isdigit))
      SetDrainRate(std::size_t(std::stoul(how)));
    else ok = false;
    if (ok) return true;
  } else if (what == "offline") s.offline = true;
  else if (what == "online") s.offline = false;
  else if (what == "silent") ok = how.empty() ? (s.silent = true) : on("on", "off", s.silent);
  else ok = false;
  if (!ok) {
    if (error)
      *error = "unknown state change \"" + std::string(text) +
               "\" (try: cover open|closed, paper end|near-end|ok, drawer open|closed, offline, online, silent on|off, "
               "stall on|off, slow BYTES_PER_SECOND|off, power off|on)";
    return false;
  }
  SetState(s);
  return true;
}

int VirtualPrinter::AsbMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->asbMask;
}

Bytes VirtualPrinter::AsbBlock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->Asb();
}

std::uint8_t VirtualPrinter::RealTimeStatusByte(int n) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->RealTime(n);
}

std::uint8_t VirtualPrinter::TransmitStatusByte(int n) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->Transmit(n);
}

std::vector<Command> VirtualPrinter::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->log;
}

std::vector<Command> VirtualPrinter::LogOf(std::string_view op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Command> out;
  for (auto& c : machine_->log)
    if (c.op == op) out.push_back(c);
  return out;
}

std::string VirtualPrinter::PrintedText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  bool lineOpen = false;
  for (auto& c : machine_->log) {
    if (c.malformed) continue;
    if (c.op == "Text") {
      text.append(c.data.begin(), c.data.end());
      lineOpen = true;
    } else if (c.op == "LineFeed" ||
               (lineOpen && (c.op == "FeedDots" || c.op == "FeedLines" || c.op == "Cut" || c.op == "FormFeed" ||
                             c.op == "PrintPage"))) {
      text += '\n';
      lineOpen = false;
    }
  }
  return text;
}

std::size_t VirtualPrinter::BytesReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->bytesReceived;
}

int VirtualPrinter::CutCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->cuts;
}

int VirtualPrinter::PulseCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->pulses;
}

int VirtualPrinter::BeepCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->beeps;
}

void VirtualPrinter::ClearLog() {
  std::lock_guard<std::mutex> lock(mutex_);
  machine_->log.clear();
}

bool VirtualPrinter::WaitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock<std::mutex> lock(waitMutex_);
  for (;;) {
    std::uint64_t seen = generation_;
    lock.unlock();
    bool done = pred();
    lock.lock();
    if (done) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    auto step = std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(20));
    changed_.wait_for(lock, step, [&] { return generation_ != seen; });
  }
}

bool VirtualPrinter::WaitForCuts(int count, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return CutCount() >= count; }, timeout);
}

bool VirtualPrinter::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return BytesReceived() >= count; }, timeout);
}

bool VirtualPrinter::WaitForOp(std::string_view op, std::chrono::milliseconds timeout) {
  return WaitFor([&] { return !LogOf(op).empty(); }, timeout);
}

std::vector<Image> VirtualPrinter::Pages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->pages;
}

Image VirtualPrinter::CurrentPage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return machine_->paper;
}

Image VirtualPrinter::ReceiptImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Machine& m = *machine_;
  int height = m.paper.height;
  for (auto& p : m.pages) height += p.height;
  Image out(config_.paperWidthDots, height);
  int yy = 0;
  for (auto& p : m.pages) {
    render::Blit(out, p, 0, yy);
    yy += p.height;
  }
  render::Blit(out, m.paper, 0, yy);
  return out;
}

bool VirtualPrinter::WritePng(const std::string& path, std::string* error) const {
  Image image = ReceiptImage();
  if (image.height == 0) image = Image(config_.paperWidthDots, 1);  // nothing printed yet
  return sim::WritePng(image, path, error);
}

void VirtualPrinter::SetCutListener(std::function<void(int, const Image&)> listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  cutListener_ = std::move(listener);
}

}  // namespace zanth::sim
