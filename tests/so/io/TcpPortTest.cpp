// The TCP/IP port against a printer stand-in on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "LoopbackServer.h"
#include "PortErrors.h"
#include "PortFactory.h"
#include "TCPIPPort.h"

namespace Tesk::IO {
namespace {

using Clock = std::chrono::steady_clock;
using testing_support::LoopbackServer;

constexpr int kTcpCloseWait = 0x08;
constexpr int kNoSocket = -1;  // a reset socket leaves the kernel's table

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

const BYTE* Bytes(const std::string& s) { return reinterpret_cast<const BYTE*>(s.data()); }

std::unique_ptr<TCPIPPort> PortTo(const std::wstring& address, unsigned short port) {
  TCPIPPortSettings settings;
  settings.SetSettingsString(address + L"," + std::to_wstring(port));
  return std::make_unique<TCPIPPort>(settings);
}

class TcpPort : public ::testing::Test {
 protected:
  void SetUp() override {
    // A send without MSG_NOSIGNAL to a dead peer would end this process.
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);
    ASSERT_TRUE(server_.Listening());
    port_ = PortTo(L"127.0.0.1", server_.Port());
  }
  void TearDown() override {
    if (peer_ >= 0) ::close(peer_);
  }
  void OpenAndAccept() {
    ASSERT_TRUE(port_->Open()) << ::testing::PrintToString(port_->GetErrorText());
    peer_ = server_.Accept();
    ASSERT_GE(peer_, 0);
  }

  LoopbackServer server_;
  std::unique_ptr<TCPIPPort> port_;
  int peer_ = -1;
};

TEST_F(TcpPort, ConnectsWritesAndReads) {
  OpenAndAccept();
  EXPECT_EQ(port_->IsOpen(), 1);
  EXPECT_EQ(port_->DevicePath(), L"127.0.0.1");
  const std::string job = "\x1B@receipt\n\x1DV\x41\x00";  // ESC @, text, GS V 65 0 (feed and cut)
  EXPECT_TRUE(port_->Write(Bytes(job), 0, static_cast<LONG>(job.size())));
  EXPECT_EQ(LoopbackServer::Receive(peer_, job.size()), job);

  ASSERT_TRUE(LoopbackServer::Send(peer_, "\x16\x12"));  // two status bytes
  BYTE buffer[4] = {};
  LONG count = 0;
  EXPECT_TRUE(port_->Read(buffer, 1, 2, &count, TRUE));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(buffer[1], 0x16);
  EXPECT_EQ(buffer[2], 0x12);
}

TEST_F(TcpPort, ReadWithoutWaitAllTakesWhatCame) {
  OpenAndAccept();
  ASSERT_TRUE(LoopbackServer::Send(peer_, "abc"));
  BYTE buffer[10] = {};
  LONG count = 0;
  EXPECT_TRUE(port_->Read(buffer, 0, 10, &count, FALSE));
  EXPECT_GE(count, 1);
  EXPECT_LE(count, 3);
  EXPECT_EQ(buffer[0], 'a');
}

TEST_F(TcpPort, ReadOnceWithNothingPendingReturnsAtOnce) {
  OpenAndAccept();
  BYTE buffer[8];
  LONG count = 5;
  auto start = Clock::now();
  EXPECT_FALSE(port_->ReadOnce(buffer, 0, 8, &count, FALSE));
  EXPECT_EQ(count, 0);
  EXPECT_LT(ElapsedMs(start), 50);

  ASSERT_TRUE(LoopbackServer::Send(peer_, "\x14"));
  auto deadline = Clock::now() + std::chrono::seconds(5);
  bool got = false;
  while (!got && Clock::now() < deadline) {
    got = port_->ReadOnce(buffer, 0, 8, &count, FALSE);
    if (!got) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(got);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(buffer[0], 0x14);
}

TEST_F(TcpPort, SecondWriteAfterThePrinterClosedGoesOverANewConnection) {
  OpenAndAccept();
  EXPECT_TRUE(port_->Write(Bytes("first"), 0, 5));
  EXPECT_EQ(LoopbackServer::Receive(peer_, 5), "first");
  unsigned short clientPort = LoopbackServer::PeerPort(peer_);
  ::close(peer_);
  peer_ = -1;
  ASSERT_TRUE(LoopbackServer::WaitForState(clientPort, kTcpCloseWait));  // the close reached the port

  EXPECT_TRUE(port_->Write(Bytes("second"), 0, 6));
  EXPECT_EQ(port_->GetErrorText(), L"");
  EXPECT_EQ(port_->IsOpen(), 1);
  peer_ = server_.Accept();
  ASSERT_GE(peer_, 0);
  EXPECT_EQ(LoopbackServer::Receive(peer_, 6), "second");  // nothing lost
}

TEST_F(TcpPort, WriteToAResetConnectionWithNoPrinterBackFailsWithoutSigpipe) {
  OpenAndAccept();
  EXPECT_TRUE(port_->Write(Bytes("first"), 0, 5));
  EXPECT_EQ(LoopbackServer::Receive(peer_, 5), "first");
  unsigned short clientPort = LoopbackServer::PeerPort(peer_);
  server_.CloseListener();
  LoopbackServer::Reset(peer_);
  peer_ = -1;
  ASSERT_TRUE(LoopbackServer::WaitForState(clientPort, kNoSocket));

  EXPECT_FALSE(port_->Write(Bytes("second"), 0, 6));
  EXPECT_EQ(port_->GetErrorCode(), kConnectFailed);
  EXPECT_EQ(port_->GetErrorText(),
            L"WriteData reconnect Fail! WSAGetLastError:" + std::to_wstring(WSAECONNRESET));
  // And again, now with no connection at all: still a clean failure.
  EXPECT_FALSE(port_->Write(Bytes("third"), 0, 5));
  EXPECT_EQ(port_->GetErrorCode(), kConnectFailed);
}

TEST_F(TcpPort, ClosedPortFailsOpenWith2501AndTheWinsockNumber) {
  unsigned short closedPort = server_.Port();
  server_.CloseListener();
  auto port = PortTo(L"127.0.0.1", closedPort);
  auto start = Clock::now();
  EXPECT_FALSE(port->Open());
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_EQ(port->IsOpen(), 0);
  EXPECT_EQ(port->GetErrorCode(), 2501);
  EXPECT_EQ(port->GetErrorText(), L"*Connect Fail! WSAGetLastError:10061");
  EXPECT_EQ(port->GetSystemError(), 10061u);
  EXPECT_FALSE(port->TestOpen());
}

TEST_F(TcpPort, AnAddressThatIsNoAddressFailsOpen) {
  auto port = PortTo(L"999.1.2.3", server_.Port());
  EXPECT_FALSE(port->Open());
  EXPECT_EQ(port->GetErrorCode(), 2501);
  EXPECT_EQ(port->GetErrorText(), L"*Connect Fail! WSAGetLastError:" + std::to_wstring(WSAEADDRNOTAVAIL));
}

TEST_F(TcpPort, TestOpenConnectsOnceAndLeavesThePortClosed) {
  EXPECT_TRUE(port_->TestOpen());
  EXPECT_EQ(port_->IsOpen(), 0);
  peer_ = server_.Accept();
  ASSERT_GE(peer_, 0);
  EXPECT_EQ(LoopbackServer::Receive(peer_, 1, 2000), "");  // closed by the port
}

TEST_F(TcpPort, ZeroBytesAndCancelWriteNothing) {
  OpenAndAccept();
  EXPECT_FALSE(port_->Write(Bytes("x"), 0, 0));
  port_->SetCancel(1);
  EXPECT_FALSE(port_->Write(Bytes("y"), 0, 1));
  port_->SetCancel(0);
  EXPECT_TRUE(port_->Write(Bytes("z"), 0, 1));
  EXPECT_EQ(LoopbackServer::Receive(peer_, 1), "z");  // neither x nor y went out
}

TEST_F(TcpPort, LargeWriteGoesOutWhileThePrinterReads) {
  OpenAndAccept();
  std::string job(256 * 1024, '\0');
  for (std::size_t i = 0; i < job.size(); ++i) job[i] = static_cast<char>(i * 7);
  std::string received;
  std::thread printer([&] { received = LoopbackServer::Receive(peer_, job.size(), 10000); });
  EXPECT_TRUE(port_->Write(Bytes(job), 0, static_cast<LONG>(job.size())));
  printer.join();
  EXPECT_TRUE(received == job);
}

// A write that cannot complete says why, and a connection that broke after taking part
// of the block is not reconnected: resending would print the taken part twice, sending
// the rest would leave a gap.
struct WriteFailure {
  const char* name;
  bool resetAfterSomeBytes;  // else the printer stops reading and the write stalls
  int errorCode, otherCode;  // a reset reads as ECONNRESET, or EPIPE once it was seen
  const wchar_t* textStart;
};

class TcpWriteFailure : public TcpPort, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(TcpWriteFailure, ReportsTheCauseAndNeverSendsTheBlockAgain) {
  const auto& c = GetParam();
  OpenAndAccept();
  const std::string job(8 * 1024 * 1024, 'x');
  std::thread printer([&] {
    if (!c.resetAfterSomeBytes) return;  // never reads
    LoopbackServer::Receive(peer_, 64 * 1024, 10000);
    LoopbackServer::Reset(peer_);
    peer_ = -1;
  });
  const bool written = port_->Write(Bytes(job), 0, static_cast<LONG>(job.size()));
  printer.join();
  EXPECT_FALSE(written);
  const LONG code = port_->GetErrorCode();
  EXPECT_TRUE(code == c.errorCode || code == c.otherCode) << code;
  const std::wstring text = port_->GetErrorText();
  EXPECT_EQ(text.rfind(c.textStart, 0), 0u) << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"of 8388608 bytes"), std::wstring::npos) << ::testing::PrintToString(text);
  EXPECT_NE(text.find(L"WSAGetLastError:" + std::to_wstring(code)), std::wstring::npos);
  EXPECT_EQ(server_.Accept(500), -1);  // no second connection for the same block
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TcpWriteFailure,
    ::testing::Values(WriteFailure{"Stall", false, WSAETIMEDOUT, WSAETIMEDOUT,
                                   L"WriteData Fail! printer took "},
                      WriteFailure{"ResetMidBlock", true, WSAECONNRESET, WSAESHUTDOWN,
                                   L"WriteData Fail! connection lost after "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TcpPort, ReadsFailOnAClosedPort) {
  BYTE buffer[4];
  LONG count = 3;
  auto start = Clock::now();
  EXPECT_FALSE(port_->Read(buffer, 0, 4, &count, TRUE));
  EXPECT_FALSE(port_->ReadOnce(buffer, 0, 4, &count, FALSE));
  EXPECT_EQ(count, 0);
  EXPECT_LT(ElapsedMs(start), 100);
}

TEST_F(TcpPort, DeadConnectionReadReturnsZeroWithoutReconnecting) {
  OpenAndAccept();
  ::close(peer_);
  peer_ = -1;
  BYTE buffer[4];
  LONG count = 3;
  EXPECT_FALSE(port_->Read(buffer, 0, 4, &count, TRUE));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(server_.Accept(200), -1);  // no new connection
}

TEST_F(TcpPort, CancelReceiveWakesAWaitingStartReceive) {
  OpenAndAccept();
  std::atomic<bool> returned{false};
  BYTE buffer[4];
  std::thread receiver([&] {
    port_->StartReceive(buffer, 4, nullptr);
    returned = true;
  });
  port_->CancelReceive();
  receiver.join();
  EXPECT_TRUE(returned);
}

TEST_F(TcpPort, StartReceiveCallsBackWhenTheWholeLengthCame) {
  OpenAndAccept();
  static DWORD seen;
  seen = 0;
  ASSERT_TRUE(LoopbackServer::Send(peer_, "\x10\x20"));
  BYTE buffer[2];
  port_->StartReceive(buffer, 2, [](DWORD count, DWORD error, DWORD bytes, void*) {
    seen = count;
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(bytes, count);
  });
  // One send of two bytes arrives on loopback as one segment: the whole length.
  EXPECT_EQ(seen, 2u);
  EXPECT_EQ(buffer[1], 0x20);
}

TEST(TcpPortFactory, TcpIpTypeMakesATcpPort) {
  auto settings = CreatePortSettings(L"TCP/IP");
  settings->SetSettingsString(L"10.20.30.40");
  auto port = CreatePort(*settings);
  auto* tcp = dynamic_cast<TCPIPPort*>(port.get());
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(tcp->DevicePath(), L"10.20.30.40");
}

}  // namespace
}  // namespace Tesk::IO
