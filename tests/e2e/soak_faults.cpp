// Fault soak: printers on loopback TCP and on a serial line print job after job, sync and
// async mixed, while faults strike at random: connections dropped, printers switched off
// and on, covers opened, the serial cable pulled and plugged back. Every job's outcome as
// the application was told it (result code, OutputComplete, ErrorEvent) is compared with
// what the printer received, and the run ends with the counts and every mismatch.
//
// Run by scripts/soak.sh; not part of ctest (faults at random are no unit of proof).
// ZANTH_SOAK_SECONDS sets the length (default 60), ZANTH_SOAK_SEED the random seed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "OposConstants.h"
#include "POSPrinter.h"
#include "sim/Transports.h"
#include "sim/VirtualPrinter.h"
#include "so/com/SoTestSupport.h"
#include "support/EventRecorder.h"

namespace zanth::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// How many times the whole job stands unbroken in what the printer printed.
int WholeCopies(const std::string& printed, const std::string& job) {
  int copies = 0;
  for (std::size_t at = printed.find(job); at != std::string::npos; at = printed.find(job, at + 1))
    ++copies;
  return copies;
}

struct Job {
  std::string text;
  bool async = false;
  bool toldPrinted = false;  // 0 from a sync call, OutputComplete for an async one
  bool answered = true;      // an async job got its OutputComplete or its ErrorEvent
  LONG code = 0, extended = 0;
};

// One printer, its transport and the control object that drives it.
struct Station {
  enum class Kind { kTcp, kSerial } kind;
  std::string name;
  sim::VirtualPrinter device;
  std::unique_ptr<sim::TcpServer> server;  // kTcp
  std::unique_ptr<sim::PtyTransport> pty;  // kSerial
  std::string link;                        // kSerial: the COM name's symlink
  std::mutex cableMutex;                   // kSerial: plug and unplug
  std::atomic<bool> poweredOff{false}, coverOpen{false}, unplugged{false};
  std::vector<Job> jobs;                   // written by the station's driver thread only
  Recorder events;  // before the control object: its callbacks run until it is closed
  std::atomic<int> errorAnswers{0};
  co::POSPrinter printer;

  static sim::PrinterConfig Config() {
    sim::PrinterConfig config;
    config.stopsWhenOffline = true;  // an open cover holds the data back, as a printer does
    config.receiveBufferBytes = 8192;
    return config;
  }
  Station(Kind k, std::string n) : kind(k), name(std::move(n)), device(Config()) {}

  void Plug() {
    std::lock_guard<std::mutex> lock(cableMutex);
    if (pty) return;
    pty = std::make_unique<sim::PtyTransport>(device);
    std::filesystem::create_symlink(pty->SlavePath(), link);
    unplugged = false;
  }
  void Unplug() {
    std::lock_guard<std::mutex> lock(cableMutex);
    if (!pty) return;
    std::filesystem::remove(link);
    pty.reset();
    unplugged = true;
  }
  void Heal() {
    if (kind == Kind::kSerial) Plug();
    if (poweredOff.exchange(false)) device.SetPower(true);
    if (coverOpen.exchange(false)) device.SetCoverOpen(false);
  }
};

class FaultSoak : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().Loaded());
    ASSERT_EQ(Library().registerServer(), S_OK);
  }
  TempRegistry registry_;
};

TEST_F(FaultSoak, WhatTheApplicationIsToldMatchesWhatThePrintersReceived) {
  const char* secondsText = std::getenv("ZANTH_SOAK_SECONDS");
  const int seconds = secondsText ? std::atoi(secondsText) : 60;
  const char* seedText = std::getenv("ZANTH_SOAK_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                 : std::random_device{}();
  std::printf("soak: %d s of faults, seed %u\n", seconds, seed);

  std::filesystem::create_directories(registry_.Folder() + "/dosdevices");
  std::vector<std::unique_ptr<Station>> stations;
  stations.push_back(std::make_unique<Station>(Station::Kind::kTcp, "NetA"));
  stations.push_back(std::make_unique<Station>(Station::Kind::kTcp, "NetB"));
  stations.push_back(std::make_unique<Station>(Station::Kind::kSerial, "Serial"));
  for (auto& s : stations) {
    AddFilePrinter(Wide(s->name), registry_.Folder() + "/unused.out");
    const std::wstring key = std::wstring(kPrinterRoot) + Wide(s->name);
    if (s->kind == Station::Kind::kTcp) {
      s->server = std::make_unique<sim::TcpServer>(s->device, 0);
      TempRegistry::SetString(key, L"PortType", L"TCP/IP");
      TempRegistry::SetString(key, L"PortSettings", L"127.0.0.1," + std::to_wstring(s->server->Port()));
    } else {
      s->link = registry_.Folder() + "/dosdevices/com7";
      s->Plug();
      TempRegistry::SetString(key, L"PortType", L"COM");
      TempRegistry::SetString(key, L"PortSettings", L"COM7,BaudRate_115200");
    }
    Record(s->printer, s->events);
    Station* station = s.get();
    // The operator answers: usually retry (the fault may still be there: another error
    // comes), sometimes clear the output.
    auto answers = std::make_shared<std::mt19937>(seed ^ 0x5eed);
    s->printer.Callbacks().error = [station, answers](LONG rc, LONG rcx, LONG, LONG& response) {
      const int n = station->errorAnswers++;
      response = ((*answers)() % 4 == 0 && n % 2 == 0) ? OPOS_ER_CLEAR : OPOS_ER_RETRY;
      station->events.Add('E', rc, rcx);
    };
    ASSERT_EQ(s->printer.Open(Wide(s->name)), OPOS_SUCCESS) << s->name;
    ASSERT_EQ(s->printer.ClaimDevice(1000), OPOS_SUCCESS) << s->name;
    s->printer.SetDeviceEnabled(true);
    ASSERT_TRUE(s->printer.DeviceEnabled()) << s->name;
  }

  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::atomic<bool> stop{false};
  std::map<std::string, int> faults;
  std::mutex faultsMutex;

  // The faults: one at a time, each healed after a while.
  std::thread injector([&] {
    std::mt19937 random(seed);
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300 + random() % 1500));
      if (stop) break;
      Station& s = *stations[random() % stations.size()];
      std::string kind;
      if (s.kind == Station::Kind::kSerial) {
        kind = "cable pulled";
        s.Unplug();
      } else {
        switch (random() % 3) {
          case 0:
            kind = "connection dropped";
            s.server->DropConnection();
            break;
          case 1:
            kind = "power cycle";
            s.poweredOff = true;
            s.device.SetPower(false);
            break;
          default:
            kind = "cover opened";
            s.coverOpen = true;
            s.device.SetCoverOpen(true);
            break;
        }
      }
      {
        std::lock_guard<std::mutex> lock(faultsMutex);
        ++faults[kind];
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200 + random() % 2000));
      s.Heal();
    }
  });

  // One driver per printer: a job, its outcome, the next job.
  std::vector<std::thread> drivers;
  for (std::size_t index = 0; index < stations.size(); ++index) {
    drivers.emplace_back([&, index] {
      Station& s = *stations[index];
      std::mt19937 random(seed + 1 + static_cast<unsigned>(index));
      for (int n = 1; Clock::now() < end; ++n) {
        Job job;
        job.async = random() % 2 == 0;
        const std::string tag = s.name + "-J" + std::to_string(n);
        const int lines = random() % 4 == 0 ? 1500 + static_cast<int>(random() % 1500)
                                            : 1 + static_cast<int>(random() % 40);
        job.text = tag + " begin\n";
        for (int line = 0; line < lines; ++line) job.text += tag + " line " + std::to_string(line) + "\n";
        job.text += tag + " end\n";
        // AsyncMode changes only between jobs: the previous one has its answer.
        s.printer.SetAsyncMode(job.async ? 1 : 0);
        const std::size_t errorsBefore = s.events.Of('E').size();
        const LONG rc = s.printer.PrintNormal(PTR_S_RECEIPT, Wide(job.text));
        if (!job.async || rc != OPOS_SUCCESS) {
          job.code = rc;
          job.extended = rc == OPOS_E_EXTENDED ? s.printer.ResultCodeExtended() : 0;
          job.toldPrinted = rc == OPOS_SUCCESS;
        } else {
          const LONG id = s.printer.OutputID();
          // Done at its OutputComplete, or at an error the operator answered by clearing
          // (the queue is empty then; a held job keeps the device busy).
          auto settled = [&] {
            return s.events.Count('O', id) > 0 ||
                   (s.events.Of('E').size() > errorsBefore && s.printer.State() == OPOS_S_IDLE);
          };
          job.answered = WaitUntil(settled, 180s);
          // A completion may still be on its way to the event thread.
          if (job.answered && s.events.Count('O', id) == 0) s.events.WaitForValue('O', id, 1, 1s);
          job.toldPrinted = s.events.Count('O', id) > 0;
          if (!job.toldPrinted) {
            std::lock_guard<std::mutex> lock(s.events.mutex);
            for (auto it = s.events.entries.rbegin(); it != s.events.entries.rend(); ++it) {
              if (it->kind == 'E') {
                job.code = it->value;
                job.extended = it->extended;
                break;
              }
            }
          }
        }
        s.jobs.push_back(std::move(job));
        if (s.printer.State() == OPOS_S_ERROR) {
          // A cover left open (its close not yet read): wait for the poll to see it shut.
          WaitUntil([&] { return s.printer.State() != OPOS_S_ERROR || Clock::now() > end; }, 30s);
        }
      }
    });
  }
  for (auto& d : drivers) d.join();
  stop = true;
  injector.join();
  for (auto& s : stations) s->Heal();

  // What is still held or in flight arrives; then the printers' paper is compared.
  for (auto& s : stations) {
    std::size_t last = 0;
    for (int quiet = 0; quiet < 10;) {
      std::this_thread::sleep_for(200ms);
      const std::size_t now = s->device.BytesReceived();
      quiet = now == last ? quiet + 1 : 0;
      last = now;
    }
  }

  std::size_t jobs = 0, syncJobs = 0, told = 0, failedTold = 0, jobBytes = 0, received = 0;
  std::map<char, std::size_t> events;
  std::map<std::string, std::size_t> errors;
  std::vector<std::string> mismatches;
  for (auto& s : stations) {
    const std::string printed = s->device.PrintedText();
    received += s->device.BytesReceived();
    {
      std::lock_guard<std::mutex> lock(s->events.mutex);
      for (const auto& e : s->events.entries) {
        ++events[e.kind];
        if (e.kind == 'E')
          ++errors["ErrorEvent " + std::to_string(e.value) + "/" + std::to_string(e.extended)];
      }
    }
    for (const Job& job : s->jobs) {
      ++jobs;
      syncJobs += job.async ? 0 : 1;
      jobBytes += job.text.size();
      const std::string tag = job.text.substr(0, job.text.find(' '));
      const std::string how = std::string(job.async ? "async" : "sync");
      if (!job.async && job.code != 0)
        ++errors["sync result " + std::to_string(job.code) + "/" + std::to_string(job.extended)];
      if (job.toldPrinted) ++told; else ++failedTold;
      const int copies = WholeCopies(printed, job.text);
      if (!job.answered) {
        mismatches.push_back(tag + " (" + how + "): no OutputComplete and no error within 180 s");
      } else if (job.toldPrinted && copies == 0) {
        mismatches.push_back(tag + " (" + how + "): told printed, but the printer never received it whole");
      } else if (job.toldPrinted && copies > 1) {
        mismatches.push_back(tag + " (" + how + "): told printed once, received whole " +
                             std::to_string(copies) + " times");
      } else if (!job.toldPrinted && copies > 0) {
        mismatches.push_back(tag + " (" + how + "): told failed (" + std::to_string(job.code) + "/" +
                             std::to_string(job.extended) + "), yet received whole");
      }
    }
  }

  std::printf("soak: faults injected:");
  for (const auto& [kind, count] : faults) std::printf(" %s %d;", kind.c_str(), count);
  std::printf("\nsoak: jobs %zu (%zu sync, %zu async): %zu told printed, %zu told failed\n", jobs,
              syncJobs, jobs - syncJobs, told, failedTold);
  std::printf("soak: bytes: %zu of job text, %zu received by the printers\n", jobBytes, received);
  std::printf("soak: events: %zu StatusUpdate, %zu OutputComplete, %zu Error\n", events['S'],
              events['O'], events['E']);
  std::printf("soak: errors:");
  for (const auto& [kind, count] : errors) std::printf(" %s x%zu;", kind.c_str(), count);
  std::printf("\nsoak: mismatches: %zu\n", mismatches.size());
  for (const std::string& m : mismatches) std::printf("soak: MISMATCH %s\n", m.c_str());
  std::fflush(stdout);
  EXPECT_TRUE(mismatches.empty());
  for (auto& s : stations) s->printer.Close();
}

}  // namespace
}  // namespace zanth::test
