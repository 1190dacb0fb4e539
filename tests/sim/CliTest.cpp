// zanth-sim as a program: where it listens, one PNG per cut, state changes on standard input.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    const char* dir = std::getenv("ZANTH_BUILD_DIR");
    std::string exe = std::string(dir ? dir : ".") + "/sim/zanth-sim";
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      std::vector<char*> argv{exe.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Program() {
    if (stdin_ >= 0) ::close(stdin_);
    if (stdout_ >= 0) ::close(stdout_);
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  // The next line of standard output, or "" after 10 s.
  std::string Line() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[256];
      ssize_t n = ::read(stdout_, buf, sizeof buf);
      if (n <= 0) break;
      buffer_.append(buf, std::size_t(n));
    }
    return "";
  }
  void Say(const std::string& text) { ASSERT_EQ(::write(stdin_, text.data(), text.size()), ssize_t(text.size())); }
  int Wait() {
    for (int i = 0; i < 100; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(100 * 1000);
    }
    return -2;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  bool exited_ = false;
  std::string buffer_;
};

Bytes Exchange(int fd, const Bytes& request, std::size_t replyBytes) {
  if (::write(fd, request.data(), request.size()) != ssize_t(request.size())) return {};
  Bytes out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (out.size() < replyBytes && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    std::uint8_t b[16];
    ssize_t n = ::read(fd, b, sizeof b);
    if (n <= 0) break;
    out.insert(out.end(), b, b + n);
  }
  return out;
}

TEST(ZanthSim, TcpWithOnePngPerCutAndStateChanges) {
  char tmpl[] = "/tmp/zanth_sim_cli_XXXXXX";
  fs::path dir = ::mkdtemp(tmpl);
  {
    Program sim({"--tcp", "0", "--out", (dir / "png").string()});
    ASSERT_TRUE(sim.Started());
    std::string first = sim.Line();
    ASSERT_EQ(first.rfind("listening on tcp 127.0.0.1:", 0), 0u) << first;
    int port = std::atoi(first.substr(first.rfind(':') + 1).c_str());
    ASSERT_GT(port, 0);

    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(Exchange(fd, {'h', 'i', 0x0A, 0x1D, 0x56, 0x00, 0x10, 0x04, 0x02}, 1), Bytes{0x12});
    std::string cut = sim.Line();
    EXPECT_NE(cut.find("receipt-0001.png"), std::string::npos) << cut;
    EXPECT_TRUE(fs::exists(dir / "png" / "receipt-0001.png"));

    sim.Say("cover open\n");
    EXPECT_EQ(sim.Line(), "ok");
    EXPECT_EQ(Exchange(fd, {0x10, 0x04, 0x02}, 1), Bytes{0x16});
    sim.Say("no such thing\nstatus\n");
    EXPECT_NE(sim.Line().find("cover open"), std::string::npos);
    sim.Say("drop\n");
    EXPECT_EQ(sim.Line(), "ok");
    std::uint8_t b;
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_LE(::recv(fd, &b, 1, 0), 0) << "the connection was dropped";
    ::close(fd);
    sim.Say("quit\n");
    EXPECT_EQ(sim.Wait(), 0);
  }
  fs::remove_all(dir);
}

TEST(ZanthSim, PseudoTerminal) {
  Program sim({"--pty"});
  ASSERT_TRUE(sim.Started());
  std::string first = sim.Line();
  ASSERT_EQ(first.rfind("listening on pty /", 0), 0u) << first;
  std::string path = first.substr(std::string("listening on pty ").size());
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << path;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  EXPECT_EQ(Exchange(fd, {0x1D, 0x49, 0x43}, 7), (Bytes{'_', 'K', 'R', '-', '1', '1', 0}));
  ::close(fd);
  sim.Say("quit\n");
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(ZanthSim, ModelGeometryAndFaultControls) {
  Program sim({"--pty", "--model", "TM-T88IV", "--slow", "50000"});
  ASSERT_TRUE(sim.Started());
  std::string first = sim.Line();
  ASSERT_EQ(first.rfind("listening on pty /", 0), 0u) << first;
  int fd = ::open(first.substr(std::string("listening on pty ").size()).c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  EXPECT_EQ(Exchange(fd, {0x1D, 0x49, 0x43}, 10), (Bytes{'_', 'T', 'M', '-', 'T', '8', '8', 'I', 'V', 0}));
  ::close(fd);
  const struct { const char* say; const char* answer; } rows[] = {
      {"stall on\n", "ok"}, {"power off\n", "ok"}, {"status\n", ""}, {"power on\n", "ok"}, {"slow off\n", "ok"}};
  for (auto& r : rows) {
    SCOPED_TRACE(r.say);
    sim.Say(r.say);
    std::string line = sim.Line();
    if (*r.answer) EXPECT_EQ(line, r.answer);
    else EXPECT_NE(line.find("stalled, power off"), std::string::npos) << line;
  }
  sim.Say("quit\n");
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(ZanthSim, BadArgumentsAreRefused) {
  Program sim({"--width", "3"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Wait(), 2);
}

}  // namespace
