// The plugin against a misbehaving host: slow datarefs, odd dataref values,
// failing socket calls, a full disk and a late frame, each injected through
// the stand-in's fault commands while clients of both transports keep the
// plugin busy. In every case the plugin goes on serving what it can, writes
// only the lines it writes anyway, keeps TARVOS.ini whole, and comes apart
// cleanly at Disable.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/trace_log.h"
#include "client/batch.h"
#include "client/connection.h"
#include "offsets/catalogue.h"
#include "settings/settings.h"
#include "simhost/control/control_commands.h"
#include "simhost/host/faults.h"
#include "tests/fault_harness.h"
#include "tests/support/linked_plugin.h"
#include "tests/transport_harness.h"
#include "transport/server_options.h"

namespace tarvos {
namespace {

using testing::Buf;
using testing::CountDescriptors;
using testing::CountThreads;
using testing::LoadClients;
using testing::ReadFileText;
using testing::WaitUntil;

int CountOf(const std::string& text, const std::string& piece) {
  int n = 0;
  for (size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++n;
  }
  return n;
}

// The part of `text` after the last line `line`.
std::string LinesAfter(const std::string& text, const std::string& line) {
  const size_t at = text.rfind(line + "\n");
  return at == std::string::npos ? text : text.substr(at);
}

class FaultInjectionTest : public testing::TransportFixture {
 protected:
  void SetUp() override {
    TransportFixture::SetUp();
    testing::ConnectFaultSeams();
  }
  void TearDown() override {
    simhost::ClearFaults();
    TransportFixture::TearDown();
  }

  // A fault command, which must be accepted.
  void Fault(const std::string& line) {
    const std::string answer = control_.Execute(line);
    ASSERT_EQ(answer.rfind("ok", 0), 0u) << line << ": " << answer;
  }

  bool FramesUntil(const std::function<bool()>& done, int ms = 10000) {
    return WaitUntil(
        [&] {
          Frames(1);
          return done();
        },
        ms);
  }

  // Every client served again (frames stepped meanwhile).
  void ExpectServedAgain(const LoadClients& clients, const char* when) {
    const std::vector<int> before = clients.Snapshot();
    EXPECT_TRUE(FramesUntil([&] { return clients.AllServedSince(before); }))
        << when;
  }

  // Disable, with the clients stopped first, then the thread and
  // descriptor counts of the started plugin again.
  void DisableAndExpectNothingLeft(LoadClients& clients) {
    clients.Stop();
    Disable();
    EXPECT_TRUE(WaitUntil([&] {
      return CountThreads() == threads_started_ &&
             CountDescriptors() == descriptors_started_;
    })) << "threads "
        << CountThreads() << " (" << threads_started_ << "), descriptors "
        << CountDescriptors() << " (" << descriptors_started_ << ")";
  }

  // Start, the counts of a started plugin, Enable and the servers up.
  void StartCountAndServe() {
    Start();
    threads_started_ = CountThreads();
    descriptors_started_ = CountDescriptors();
    Enable();
    Frames(1);
    ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
    ASSERT_TRUE(WaitUntil([] { return IpcServerListening(); }));
    port_ = TcpServerBoundPort();
  }

  simhost::ControlExecutor control_{nullptr};
  int threads_started_ = 0;
  int descriptors_started_ = 0;
};

// Every dataref getter and setter taking 2 ms: the flight loop, the
// read-time refresh and the write handlers all run slowly, yet every
// client is served with right answers, the writes reach the host, and
// Disable ends everything.
TEST_F(FaultInjectionTest, SlowDatarefsStillServeEveryClient) {
  StartCountAndServe();
  Fault("fault dataref slow 2");
  EXPECT_EQ(simhost::DatarefDelay(), 2000u);
  LoadClients clients(2, 1, endpoint_);
  ExpectServedAgain(clients, "with slow datarefs");

  // A read with read-time items and a write with a handler, over TCP.
  std::string error;
  auto connection = client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(connection) << error;
  client::RequestBatch batch;
  batch.AddWriteU16(0x0BC0, 0x1234);  // elevator trim: a dataref set
  const size_t clock = batch.AddRead(0x0238, 3);
  ASSERT_TRUE(connection->Exchange(batch, &error)) << error;
  (void)clock;
  bool trim_set = false;
  for (const simhost::SetRecord& r : host().TakeSetRecords()) {
    trim_set = trim_set || r.name.find("elv_trim") != std::string::npos;
  }
  EXPECT_TRUE(trim_set);
  connection.reset();

  Fault("fault dataref slow 0");
  ExpectServedAgain(clients, "after the datarefs are fast again");
  EXPECT_EQ(clients.wrong_answers(), 0);
  DisableAndExpectNothingLeft(clients);
}

// Getters returning NaN, +/-infinity and the largest finite values, of
// every dataref: frames, reads of the whole offset space (every read-time
// item) and a write to every writable item run without undefined
// behaviour (the sanitizer builds check the conversions), the version at
// 0x3304 is still answered, and once the values are sane again the next
// frames publish sane values again.
TEST_F(FaultInjectionTest, OddDatarefValuesNeverBreakServing) {
  StartCountAndServe();
  Frames(10);
  const int64_t latitude_before = S64(0x0560);
  LoadClients clients(1, 1, endpoint_);
  std::string error;
  auto connection = client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(connection) << error;

  for (const char* kind : {"nan", "inf", "-inf", "max", "min"}) {
    SCOPED_TRACE(kind);
    Fault(std::string("fault dataref values ") + kind);
    Frames(70);  // every refresh callback and the one-second timer
    // The whole offset space, 16 KB a batch.
    for (uint32_t base = 0; base < 0x10000; base += 0x4000) {
      client::RequestBatch batch;
      for (uint32_t at = base; at < base + 0x4000; at += 0x400) {
        batch.AddRead(at, 0x400);
      }
      ASSERT_TRUE(connection->Exchange(batch, &error)) << error;
    }
    // A write of ones to every writable item.
    ForEachCatalogueItem([&](const CatalogueItem& item) {
      if (item.row->access == Access::kRead || item.row->size == 0) return;
      Write(item.offset, Buf(item.row->size, 0x01));
    });
    client::RequestBatch version;
    const size_t v = version.AddRead(0x3304, 4);
    ASSERT_TRUE(connection->Exchange(version, &error)) << error;
    EXPECT_EQ(version.U32(v), 0x50000004u);
    ExpectServedAgain(clients, kind);
  }
  Fault("fault dataref values off");
  // The aircraft is where it was: the position comes back with the values.
  host().SetDouble("sim/flightmodel/position/latitude", 0);
  Frames(5);
  host().SetDouble("sim/flightmodel/position/latitude",
                   static_cast<double>(latitude_before) * 90.0 /
                       (10001750.0 * 65536.0 * 65536.0));
  Frames(5);
  EXPECT_NEAR(static_cast<double>(S64(0x0560)),
              static_cast<double>(latitude_before),
              std::abs(static_cast<double>(latitude_before)) * 1e-6 + 1e6);
  EXPECT_EQ(clients.wrong_answers(), 0);
  connection.reset();
  DisableAndExpectNothingLeft(clients);
}

// Failing socket calls. An accept that fails for want of descriptors
// drops that connection, is logged once for the run of failures and is
// retried after a pause, without spinning; an accept on a broken listening
// socket re-opens the listener; a failed receive or send closes that one
// connection. Clients are served again each time, and nothing is left at
// Disable.
TEST_F(FaultInjectionTest, FailingSocketCallsCloseOnlyWhatFailed) {
  StartCountAndServe();
  LoadClients local(0, 1, endpoint_);

  // Three accepts fail with EMFILE: three connections dropped, one pair of
  // lines, then connections are taken again.
  Fault("fault socket accept EMFILE 3");
  {
    LoadClients tcp(2, 0, endpoint_);
    ExpectServedAgain(tcp, "after failed accepts");
    EXPECT_EQ(simhost::FailedSocketCalls(simhost::SocketCallKind::kAccept), 3u);
  }
  std::string log = StatusLogText();
  EXPECT_EQ(CountOf(log, "TARNET->Client accept failed\n"), 1) << log;
  EXPECT_EQ(CountOf(log,
                    "TARNET->Too many open files, accepting again "
                    "shortly\n"),
            1)
      << log;

  // Failing without end: the listener waits longer each time instead of
  // spinning, and is back as soon as the fault ends.
  Fault("fault socket accept EMFILE");
  {
    LoadClients tcp(1, 0, endpoint_);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // 100, 200, 400 ms pauses: a handful of attempts, not thousands.
    EXPECT_LE(simhost::FailedSocketCalls(simhost::SocketCallKind::kAccept),
              3u + 8u);
    Fault("fault socket accept off");
    ExpectServedAgain(tcp, "after the accept fault ended");
  }

  // A broken listening socket: re-opened, and serving again.
  Fault("fault socket accept EBADF 1");
  {
    LoadClients tcp(1, 0, endpoint_);
    ExpectServedAgain(tcp, "after the listener was re-opened");
  }
  EXPECT_NE(StatusLogText().find("TARNET->Listening socket failed (Bad file "
                                 "descriptor)\n"),
            std::string::npos);

  // A receive and a send that fail: that connection is closed, the client
  // connects again and is served.
  for (const char* line :
       {"fault socket recv ECONNRESET 1", "fault socket send EPIPE 1"}) {
    SCOPED_TRACE(line);
    LoadClients tcp(1, 0, endpoint_);
    ExpectServedAgain(tcp, "before");
    const int closed = CountOf(StatusLogText(), "SocketI->Closing Client No:");
    Fault(line);
    EXPECT_TRUE(WaitUntil([&] {
      return CountOf(StatusLogText(), "SocketI->Closing Client No:") > closed;
    }));
    ExpectServedAgain(tcp, "after the failed call");
  }
  ExpectServedAgain(local, "local client, untouched by socket faults");
  EXPECT_EQ(local.wrong_answers(), 0);
  DisableAndExpectNothingLeft(local);
}

// A full disk. TARVOS.ini: a rewrite that cannot be written leaves the
// file exactly as it was (no part-written copy takes its place, none is
// left behind), the offset is still served, the failure is logged once;
// with room again the next rewrite lands. Without a settings file and
// without room, Enable goes on with the defaults instead of ending the
// process. TARVOS.txt and TARVOS.log: their lines are lost, nothing else.
TEST_F(FaultInjectionTest, FullDiskLosesNoSettingAndStopsNothing) {
  const std::string ini = SystemFile("TARVOS.ini");
  const std::string temp = SystemFile("TARVOS.tmp");

  // No settings file and a full disk at Enable: the settings in memory (the
  // defaults in a fresh process), serving, and no part-written settings
  // file that the next Enable would take for one.
  const std::string flight_number = AtcText(AtcField::kFlightNumber);
  Fault("fault disk full TARVOS.ini");
  StartCountAndServe();
  LoadClients clients(1, 1, endpoint_);
  ExpectServedAgain(clients, "with no settings file written");
  const std::string published = flight_number + std::string(1, '\0');
  EXPECT_EQ(Bytes(0x3130, static_cast<uint32_t>(published.size())),
            Buf(published.begin(), published.end()));
  EXPECT_NE(
      StatusLogText().find("Can't open " + ini + ": No space left on device\n"),
      std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(ini));
  EXPECT_FALSE(std::filesystem::exists(temp));
  Fault("fault disk ok");
  clients.Stop();
  Disable();

  // A settings file on disk; the temporary copy cannot be written.
  Enable();
  Frames(1);
  ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
  const std::string before = ReadFileText(ini);
  ASSERT_NE(before.find("LH 5363"), std::string::npos);
  std::string error;
  auto connection =
      client::ConnectTcp("127.0.0.1", TcpServerBoundPort(), &error);
  ASSERT_TRUE(connection) << error;
  // A client's write of the flight number; the key is saved once the
  // batch is served.
  auto write_flight_number = [&](const char* text) {
    Buf bytes(12, 0);
    std::copy(text, text + 6, bytes.begin());
    client::RequestBatch batch;
    batch.AddWrite(0x3130, bytes);
    ASSERT_TRUE(connection->Exchange(batch, &error)) << error;
    EXPECT_EQ(Bytes(0x3130, 12), bytes);
  };
  Fault("fault disk full TARVOS.tmp");
  for (const char* text : {"AB 123", "CD 456"}) {
    write_flight_number(text);
    EXPECT_EQ(ReadFileText(ini), before);
    EXPECT_FALSE(std::filesystem::exists(temp));
  }
  // Once for the run of failures (the Enable above began a new run).
  EXPECT_EQ(CountOf(LinesAfter(StatusLogText(), "TARVOS Enable !"),
                    "Can't open " + temp + ": No space left on device\n"),
            1);
  Fault("fault disk ok");
  write_flight_number("EF 789");
  EXPECT_NE(ReadFileText(ini).find("ATC Number = EF 789"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(temp));
  connection.reset();

  // The status log and the trace on a full disk: their lines go nowhere,
  // clients are served, tracing switches on and off.
  Disable();
  const std::string status_before = StatusLogText();
  Fault("fault disk full");
  Enable();
  Frames(1);
  ASSERT_TRUE(WaitUntil([] { return TcpServerBoundPort() != 0; }));
  LoadClients more(1, 1, endpoint_);
  SetReadTracing(true);
  SetWriteTracing(true);
  ExpectServedAgain(more, "with the logs on a full disk");
  SetReadTracing(false);
  SetWriteTracing(false);
  EXPECT_EQ(StatusLogText(), status_before);
  EXPECT_EQ(TraceLogText().find("Start Readlogging"), std::string::npos);
  Fault("fault disk ok");
  EXPECT_EQ(more.wrong_answers(), 0);
  DisableAndExpectNothingLeft(more);
  Enable();
  Frames(1);
  EXPECT_GT(StatusLogText().size(), status_before.size());
}

// A frame that comes 1.5 s late: the clients are served while the main
// thread stalls, the frame carries the stall in its time, the plugin's
// periodic refresh goes on with the next frames, and nothing is logged.
TEST_F(FaultInjectionTest, LateFrameStallsNothingButTheFlightLoop) {
  StartCountAndServe();
  LoadClients clients(2, 1, endpoint_);
  ExpectServedAgain(clients, "before the late frame");
  const std::string log_before = StatusLogText();
  const double time_before = host().ElapsedTime();
  const std::vector<int> before = clients.Snapshot();

  Fault("fault frame late 1.5");
  Frames(1);
  EXPECT_GE(host().ElapsedTime() - time_before, 1.5);
  EXPECT_TRUE(clients.AllServedSince(before))
      << "a client was not served while the flight loop stalled";

  // The refresh still follows the host: a new latitude is published.
  host().SetDouble("sim/flightmodel/position/latitude", 12.5);
  Frames(3);
  EXPECT_NEAR(static_cast<double>(S64(0x0560)) * 90.0 /
                  (10001750.0 * 65536.0 * 65536.0),
              12.5, 1e-6);
  ExpectServedAgain(clients, "after the late frame");
  // Nothing but the listener's lines of clients that came in meanwhile.
  const std::string added = StatusLogText().substr(log_before.size());
  EXPECT_EQ(StatusLogText().compare(0, log_before.size(), log_before), 0);
  std::istringstream lines(added);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(line.rfind("TARNET->Waiting for clients", 0) == 0 ||
                line.rfind("TARNET->Client Creating thread", 0) == 0 ||
                line.rfind("SocketI->Client No: =", 0) == 0)
        << line;
  }
  EXPECT_EQ(clients.wrong_answers(), 0);
  DisableAndExpectNothingLeft(clients);
}

// The fault commands refuse what they cannot do and change nothing then.
TEST_F(FaultInjectionTest, FaultCommandsRefuseBadInput) {
  for (const char* line : {"fault",
                           "fault dataref",
                           "fault dataref slow",
                           "fault dataref slow -1",
                           "fault dataref slow 1001",
                           "fault dataref slow x",
                           "fault dataref values",
                           "fault dataref values odd",
                           "fault dataref values off prefix",
                           "fault frame late 61",
                           "fault frame late nan",
                           "fault frame early 1",
                           "fault socket listen 1",
                           "fault socket recv ENOSUCH",
                           "fault socket recv 1 0",
                           "fault socket recv 1 1.5",
                           "fault disk",
                           "fault disk half",
                           "fault disk ok now",
                           "fault network down"}) {
    EXPECT_EQ(control_.Execute(line).rfind("error", 0), 0u) << line;
  }
  EXPECT_EQ(simhost::DatarefDelay(), 0u);
  EXPECT_EQ(simhost::CurrentValueFault(), simhost::ValueFault::kNone);
  EXPECT_EQ(simhost::TakeLateFrame(), 0.0);
  EXPECT_EQ(simhost::InjectedSocketError(simhost::SocketCallKind::kReceive), 0);
  EXPECT_EQ(simhost::InjectedFileWriteError("/x/TARVOS.ini"), 0);
  EXPECT_EQ(control_.Execute("fault help").rfind("ok fault off", 0), 0u);
}

}  // namespace
}  // namespace tarvos
