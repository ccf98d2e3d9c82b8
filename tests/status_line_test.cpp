// The tarvos-simhost status line: its formatting, and the socket census
// behind its client counts against the plugin's real servers.
#include "simhost/program/status_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "client/batch.h"
#include "client/connection.h"
#include "simhost/program/socket_census.h"
#include "tests/transport_harness.h"

namespace simhost {
namespace {

TEST(StatusLine, FormatsKnownPartsAndLeavesOutUnknownOnes) {
  struct Case {
    const char* name;
    StatusSnapshot in;
    const char* out;
  };
  SocketCounts none;
  none.tcp_segments_known = true;
  SocketCounts busy{2, 1, 1234567, true};
  SocketCounts unknown_segments{1, 0, 99, false};
  const Case kCases[] = {
      {"start",
       {60.0, 0.0, "line-up", false, none},
       "fps 60.0 | sim 00:00:00 | phase line-up | clients 0 tcp 0 local | "
       "tcp data segments in 0"},
      {"hours roll over, fraction of a second dropped",
       {59.94, 3725.9, "circuit", false, busy},
       "fps 59.9 | sim 01:02:05 | phase circuit | clients 2 tcp 1 local | "
       "tcp data segments in 1234567"},
      {"no flight phase",
       {30.0, 61, "", false, none},
       "fps 30.0 | sim 00:01:01 | clients 0 tcp 0 local | "
       "tcp data segments in 0"},
      {"paused, segments not observable",
       {0.0, 10, "approach", true, unknown_segments},
       "fps 0.0 | sim 00:00:10 paused | phase approach | clients 1 tcp 0 "
       "local"},
      {"nonsense measurements show as zero",
       {NAN, -5, "", false, unknown_segments},
       "fps 0.0 | sim 00:00:00 | clients 1 tcp 0 local"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FormatStatusLine(c.in), c.out) << c.name;
  }
}

class SocketCensusTest : public tarvos::testing::TransportFixture {};

// A client connection of each kind counts once (our own client ends, which
// live in this process too, do not), and a served TCP batch shows as data
// segments that stay counted after the connection closes.
TEST_F(SocketCensusTest, CountsServedClientsOfBothServers) {
  StartServers();
  SocketCensus census(0, "");
  SocketCounts before = census.Sample();
  EXPECT_EQ(before.tcp_clients, 0);
  EXPECT_EQ(before.local_clients, 0);

  std::string error;
  auto tcp = tarvos::client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(tcp) << error;
  auto local = tarvos::client::ConnectLocal(endpoint_, &error);
  ASSERT_TRUE(local) << error;
  for (int i = 0; i < 3; ++i) {
    tarvos::client::RequestBatch batch;
    batch.AddRead(0x3304, 4);
    ASSERT_TRUE(tcp->Exchange(batch, &error)) << error;
    ASSERT_TRUE(local->Exchange(batch, &error)) << error;
  }
  SocketCounts open;
  ASSERT_TRUE(tarvos::testing::WaitUntil([&] {
    open = census.Sample();
    return open.tcp_clients == 1 && open.local_clients == 1;
  })) << open.tcp_clients
      << " tcp, " << open.local_clients << " local";
  ASSERT_TRUE(open.tcp_segments_known);
  EXPECT_GE(open.tcp_segments_in, 3u);

  tcp.reset();
  local.reset();
  SocketCounts closed;
  ASSERT_TRUE(tarvos::testing::WaitUntil([&] {
    closed = census.Sample();
    return closed.tcp_clients == 0 && closed.local_clients == 0;
  }));
  EXPECT_GE(closed.tcp_segments_in, open.tcp_segments_in);
}

// The control channel's own listener is left out when named.
TEST_F(SocketCensusTest, ExcludedPortIsNotCounted) {
  StartServers();
  std::string error;
  auto tcp = tarvos::client::ConnectTcp("127.0.0.1", port_, &error);
  ASSERT_TRUE(tcp) << error;
  tarvos::client::RequestBatch batch;
  batch.AddRead(0x3304, 4);
  ASSERT_TRUE(tcp->Exchange(batch, &error)) << error;
  SocketCensus census(port_, "");
  EXPECT_EQ(census.Sample().tcp_clients, 0);
}

}  // namespace
}  // namespace simhost
