// Status replies, automatic status back, printer ids and the second model's packets.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/VirtualPrinter.h"

namespace zanth::sim {
namespace {

std::string Hex(const Bytes& b) {
  std::string s;
  char t[4];
  for (auto x : b) {
    std::snprintf(t, sizeof t, "%02X ", x);
    s += t;
  }
  return s;
}

Bytes Ask(VirtualPrinter& p, const Bytes& request) {
  p.Feed(request);
  return p.TakeReplies();
}

// The host decodes these bytes with fixed-bit checks before it believes them; every reply
// must pass them: DLE EOT 1 (s & 13) = 12, DLE EOT 2 and 4 (s & 93) = 12, ASB block
// (b0 & 93) = 10 and bits 90 clear in b1..b3.
struct StatusCase {
  const char* name;
  PrinterState state;
  std::uint8_t eot1, eot2, eot4, gsr1, gsr2;
  Bytes asb;
};

std::ostream& operator<<(std::ostream& os, const StatusCase& c) { return os << c.name; }

PrinterState S(bool cover, bool end, bool near, bool drawer, bool offline) {
  PrinterState s;
  s.coverOpen = cover;
  s.paperEnd = end;
  s.paperNearEnd = near;
  s.drawerOpen = drawer;
  s.offline = offline;
  return s;
}

const StatusCase kStatus[] = {
    //                                 EOT1  EOT2  EOT4  GSr1  GSr2  ASB
    {"Ready", S(0, 0, 0, 0, 0), 0x12, 0x12, 0x12, 0x00, 0x00, {0x10, 0x00, 0x00, 0x00}},
    // Drawer open reads as sensor bit 1: EOT1 bit 2, GS r 2 bit 0, ASB b0 bit 2.
    {"DrawerOpen", S(0, 0, 0, 1, 0), 0x16, 0x12, 0x12, 0x00, 0x01, {0x14, 0x00, 0x00, 0x00}},
    // Cover open also takes the printer off-line (EOT1 bit 3), so the host asks the cause.
    {"CoverOpen", S(1, 0, 0, 0, 0), 0x1A, 0x16, 0x12, 0x00, 0x00, {0x38, 0x00, 0x00, 0x00}},
    // Near end: EOT4 bits 0C, GS r 1 bits 03, ASB b2 bits 03.
    {"NearEnd", S(0, 0, 1, 0, 0), 0x12, 0x12, 0x1E, 0x03, 0x00, {0x10, 0x00, 0x03, 0x00}},
    // Paper end: off-line, EOT2 bit 5, EOT4 bits 60, GS r 1 bits 0C, ASB b2 bits 0C.
    {"PaperEnd", S(0, 1, 0, 0, 0), 0x1A, 0x32, 0x72, 0x0C, 0x00, {0x18, 0x00, 0x0C, 0x00}},
    {"EndAndNear", S(0, 1, 1, 0, 0), 0x1A, 0x32, 0x7E, 0x0F, 0x00, {0x18, 0x00, 0x0F, 0x00}},
    {"Offline", S(0, 0, 0, 0, 1), 0x1A, 0x12, 0x12, 0x00, 0x00, {0x18, 0x00, 0x00, 0x00}},
    {"Everything", S(1, 1, 1, 1, 1), 0x1E, 0x36, 0x7E, 0x0F, 0x01, {0x3C, 0x00, 0x0F, 0x00}},
};

class StatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTable, RepliesMatchTheState) {
  const StatusCase& c = GetParam();
  VirtualPrinter p;
  p.SetState(c.state);
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x01}), Bytes{c.eot1});
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x02}), Bytes{c.eot2});
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x04}), Bytes{c.eot4});
  EXPECT_EQ(Ask(p, {0x1D, 0x72, 0x01}), Bytes{c.gsr1});
  EXPECT_EQ(Ask(p, {0x1D, 0x72, 0x02}), Bytes{c.gsr2});
  EXPECT_EQ(Ask(p, {0x1D, 0x72, 0x31}), Bytes{c.gsr1});  // the ASCII form '1'
  EXPECT_EQ(Ask(p, {0x1D, 0x61, 0xFF}), c.asb) << Hex(c.asb);
  // Fixed bits the host checks.
  EXPECT_EQ(c.eot1 & 0x13, 0x12);
  EXPECT_EQ(c.eot2 & 0x93, 0x12);
  EXPECT_EQ(c.eot4 & 0x93, 0x12);
  EXPECT_EQ(c.asb[0] & 0x93, 0x10);
  EXPECT_EQ((c.asb[1] | c.asb[2] | c.asb[3]) & 0x90, 0);
}

INSTANTIATE_TEST_SUITE_P(States, StatusTable, ::testing::ValuesIn(kStatus),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Status, DrawerSensorPolarityIsConfigurable) {
  PrinterConfig cfg;
  cfg.drawerOpenSensorHigh = false;
  VirtualPrinter p(cfg);
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x01}), Bytes{0x16});  // closed drawer reads 1
  p.SetDrawerOpen(true);
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x01}), Bytes{0x12});
  EXPECT_EQ(Ask(p, {0x1D, 0x72, 0x02}), Bytes{0x00});
}

TEST(AutoStatusBack, SentOnEnableAndOnEveryChangeOnly) {
  VirtualPrinter p;
  p.SetCoverOpen(true);
  EXPECT_TRUE(p.TakeReplies().empty()) << "no ASB before GS a";
  EXPECT_EQ(Ask(p, {0x1D, 0x61, 0xFF}), (Bytes{0x38, 0x00, 0x00, 0x00}));
  p.SetCoverOpen(true);  // no change: nothing
  EXPECT_TRUE(p.TakeReplies().empty());
  p.SetCoverOpen(false);
  EXPECT_EQ(p.TakeReplies(), (Bytes{0x10, 0x00, 0x00, 0x00}));
  p.SetPaperNearEnd(true);
  p.SetPaperEnd(true);
  EXPECT_EQ(p.TakeReplies(), (Bytes{0x10, 0x00, 0x03, 0x00, 0x18, 0x00, 0x0F, 0x00}));
  EXPECT_EQ(Ask(p, {0x1D, 0x61, 0x00}), Bytes{});
  p.SetPaperEnd(false);
  EXPECT_TRUE(p.TakeReplies().empty()) << "GS a 0 switches it off";
}

TEST(AutoStatusBack, DrawerPulseOpensTheDrawerAndReportsIt) {
  VirtualPrinter p;
  Ask(p, {0x1D, 0x61, 0xFF});
  EXPECT_EQ(Ask(p, {0x1B, 0x70, 0x00, 0x19, 0xFA}), (Bytes{0x14, 0x00, 0x00, 0x00}));
  EXPECT_EQ(p.PulseCount(), 1);
  EXPECT_TRUE(p.State().drawerOpen);
  p.SetDrawerOpen(false);
  EXPECT_EQ(p.TakeReplies(), (Bytes{0x10, 0x00, 0x00, 0x00}));
}

TEST(AutoStatusBack, SurvivesInitializeAndAnswersInsideData) {
  VirtualPrinter p;
  Ask(p, {0x1D, 0x61, 0xFF});
  EXPECT_TRUE(Ask(p, {0x1B, 0x40}).empty());
  EXPECT_EQ(p.AsbMask(), 0xFF);
  // A raster waiting for its last byte still answers DLE EOT 2 at once.
  EXPECT_EQ(Ask(p, {0x1D, 0x76, 0x30, 0x00, 0x01, 0x00, 0x04, 0x00, 0x10, 0x04, 0x02}), Bytes{0x12});
  EXPECT_TRUE(Ask(p, {0x00}).empty());
  p.SetPaperEnd(true);
  EXPECT_EQ(p.TakeReplies(), (Bytes{0x18, 0x00, 0x0C, 0x00}));
}

TEST(Status, SilentPrinterAnswersNothing) {
  VirtualPrinter p;
  p.SetSilent(true);
  EXPECT_TRUE(Ask(p, {0x10, 0x04, 0x01, 0x1D, 0x72, 0x01, 0x1D, 0x49, 0x41, 0x1D, 0x61, 0xFF}).empty());
  p.SetCoverOpen(true);
  EXPECT_TRUE(p.TakeReplies().empty());
  p.SetSilent(false);
  p.TakeReplies();
  EXPECT_EQ(Ask(p, {0x10, 0x04, 0x02}), Bytes{0x16});
}

struct IdCase {
  std::uint8_t n;
  Bytes reply;
};

TEST(PrinterIds, AnswersFromTheTable) {
  VirtualPrinter p;
  PrinterIds ids;
  ids.firmware = "2.05";
  ids.maker = "Corlin";
  ids.model = "K15SMB";
  ids.typeId = 0x00;  // no cutter
  p.SetIds(ids);
  const IdCase cases[] = {
      {0x01, {0x20}},
      {0x02, {0x00}},
      {0x32, {0x00}},  // '2'
      {0x41, {'_', '2', '.', '0', '5', 0}},
      {0x42, {'_', 'C', 'o', 'r', 'l', 'i', 'n', 0}},
      {0x43, {'_', 'K', '1', '5', 'S', 'M', 'B', 0}},
      {0x44, {'_', 'S', 'I', 'M', '0', '0', '0', '0', '1', 0}},
      {0x10, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Ask(p, {0x1D, 0x49, c.n}), c.reply) << int(c.n);
}

TEST(StateCommands, TextFormsAndErrors) {
  VirtualPrinter p;
  const std::pair<const char*, PrinterState> cases[] = {
      {"cover open", S(1, 0, 0, 0, 0)},      {"Cover Closed", S(0, 0, 0, 0, 0)},
      {"paper near-end", S(0, 0, 1, 0, 0)},  {"paper end", S(0, 1, 1, 0, 0)},
      {"paper ok", S(0, 0, 0, 0, 0)},        {"drawer open", S(0, 0, 0, 1, 0)},
      {"offline", S(0, 0, 0, 1, 1)},         {"online", S(0, 0, 0, 1, 0)},
      {"drawer closed", S(0, 0, 0, 0, 0)},
  };
  for (const auto& [text, expected] : cases) {
    std::string error;
    EXPECT_TRUE(p.ApplyStateCommand(text, &error)) << text << ": " << error;
    EXPECT_EQ(p.State(), expected) << text;
  }
  std::string error;
  EXPECT_FALSE(p.ApplyStateCommand("cover ajar", &error));
  EXPECT_NE(error.find("cover ajar"), std::string::npos);
  EXPECT_FALSE(p.ApplyStateCommand("", &error));
  EXPECT_TRUE(p.ApplyStateCommand("silent on"));
  EXPECT_TRUE(p.State().silent);
}

// ---- the second model's packets ----

Bytes Packet(const Bytes& payload) {
  Bytes out = {0xAA, std::uint8_t(payload.size())};
  std::uint8_t x = 0;
  for (auto b : payload) {
    out.push_back(b);
    x ^= b;
  }
  out.push_back(x);
  out.push_back(0xBB);
  return out;
}

TEST(Packets, StatusRequestIsAnsweredWithTheBareByte) {
  PrinterConfig cfg;
  cfg.packetFraming = true;
  VirtualPrinter p(cfg);
  // AA 03 10 04 01 15 BB: DLE EOT 1 in a packet, checksum 10^04^01 = 15.
  EXPECT_EQ(Ask(p, {0xAA, 0x03, 0x10, 0x04, 0x01, 0x15, 0xBB}), Bytes{0x12});
  p.SetCoverOpen(true);
  EXPECT_EQ(Ask(p, {0xAA, 0x03, 0x10, 0x04, 0x02, 0x16, 0xBB}), Bytes{0x16});
}

TEST(Packets, DataPacketsAreAckedAndCommandsSpanPackets) {
  PrinterConfig cfg;
  cfg.packetFraming = true;
  VirtualPrinter p(cfg);
  // 47 bytes: ESC @, 44 text bytes, LF: framed as 46 + 1 bytes, the LF alone in the second.
  Bytes data = {0x1B, 0x40};
  for (int i = 0; i < 44; ++i) data.push_back(std::uint8_t('a' + i % 26));
  data.push_back(0x0A);
  Bytes first(data.begin(), data.begin() + 46), second(data.begin() + 46, data.end());
  Bytes wire = Packet(first);
  Bytes p2 = Packet(second);
  wire.insert(wire.end(), p2.begin(), p2.end());
  ASSERT_EQ(wire[1], 0x2E);
  Bytes replies = Ask(p, wire);
  Bytes twoAcks = kPacketAck;
  twoAcks.insert(twoAcks.end(), kPacketAck.begin(), kPacketAck.end());
  EXPECT_EQ(replies, twoAcks);
  EXPECT_EQ(p.LogOf("Initialize").size(), 1u);
  ASSERT_EQ(p.LogOf("Text").size(), 1u);
  EXPECT_EQ(p.LogOf("Text")[0].data.size(), 44u);
  EXPECT_EQ(p.LogOf("LineFeed").size(), 1u);

  // A command cut across packets is reassembled: GS V 41 | 10.
  Bytes cut1 = Packet({0x1D, 0x56}), cut2 = Packet({0x41, 0x10});
  cut1.insert(cut1.end(), cut2.begin(), cut2.end());
  Ask(p, cut1);
  EXPECT_EQ(p.CutCount(), 1);
}

TEST(Packets, PrintedTextReadsAcrossPackets) {
  PrinterConfig cfg;
  cfg.packetFraming = true;
  VirtualPrinter p(cfg);
  Bytes wire = Packet({'T', 'o', 't'});
  Bytes rest = Packet({'a', 'l', 0x0A, 'x', 0x1B, 0x4A, 0x10, 0x0A});
  wire.insert(wire.end(), rest.begin(), rest.end());
  p.Feed(wire);
  EXPECT_EQ(p.PrintedText(), "Total\nx\n\n");
}

TEST(Packets, BadChecksumAndJunkAreRefused) {
  PrinterConfig cfg;
  cfg.packetFraming = true;
  VirtualPrinter p(cfg);
  EXPECT_EQ(Ask(p, {0xAA, 0x02, 0x1B, 0x40, 0x00, 0xBB}), kPacketNak);  // checksum should be 5B
  EXPECT_EQ(Ask(p, {0xAA, 0x02, 0x1B, 0x40, 0x5B, 0xCC}), kPacketNak);  // wrong end byte
  EXPECT_TRUE(p.LogOf("Initialize").empty());
  EXPECT_EQ(Ask(p, {0x1B, 0x40}), Bytes{});  // unframed bytes are not commands
  EXPECT_EQ(Ask(p, Packet({0x1B, 0x40})), kPacketAck);
  EXPECT_EQ(p.LogOf("Initialize").size(), 1u);
  EXPECT_EQ(p.LogOf("OutsidePacket").size(), 1u);
  EXPECT_EQ(p.LogOf("BadPacket").size(), 2u);
  EXPECT_EQ(Ask(p, {0xAA, 0x00, 0x00, 0xBB}), kPacketAck);  // an empty packet is fine
}

}  // namespace
}  // namespace zanth::sim
