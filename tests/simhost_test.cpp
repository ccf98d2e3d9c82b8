// The stand-in host: dataref store, records, flight loop, other plugins,
// aircraft, navaids, coordinates, menus, windows and widgets.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "XPLMGraphics.h"
#include "XPLMPlanes.h"
#include "XPLMPlugin.h"
#include "XPStandardWidgets.h"
#include "XPWidgets.h"
#include "simhost/host/host.h"
#include "tests/support/plugin_fixture.h"

namespace simhost {
namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { host().Reset(); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(host().SystemPath(), ec);
  }
  Host& host() { return Host::Get(); }
};

XPLMDataRef Ref(const char* name) { return XPLMFindDataRef(name); }

// --- Dataref store -----------------------------------------------------------

TEST_F(HostTest, DefaultDatarefsExistWithTheirTypes) {
  struct Row {
    const char* name;
    int types;
    int writable;  // as the simulator 12.1 has it
  };
  const Row rows[] = {
      {"sim/flightmodel/position/latitude", xplmType_Double | xplmType_Float,
       0},
      {"sim/flightmodel/position/local_x", xplmType_Double | xplmType_Float, 1},
      {"sim/time/local_time_sec", xplmType_Float, 0},
      {"sim/time/paused", xplmType_Int, 0},
      {"sim/cockpit/radios/com1_freq_hz", xplmType_Int, 1},
      {"sim/flightmodel/engine/ENGN_N1_", xplmType_FloatArray, 1},
      {"sim/cockpit/engine/ignition_on", xplmType_IntArray, 1},
      {"sim/cockpit2/radios/indicators/adf1_nav_id", xplmType_Data, 1},
      {"sim/weather/wind_speed_kt", xplmType_Float, 0},
      {"sim/weather/wind_speed_kt[2]", xplmType_Float, 1},
      {"sim/weather/cloud_type[0]", xplmType_Int, 1},
      {"sim/multiplayer/position/plane19_lat", xplmType_Double | xplmType_Float,
       0},
      {"sim/multiplayer/position/plane1_v_y", xplmType_Float, 1},
      {"sim/flightmodel/position/q", xplmType_FloatArray, 1},
      {"sim/operation/failures/failures", xplmType_IntArray, 0},
  };
  for (const Row& row : rows) {
    XPLMDataRef ref = Ref(row.name);
    ASSERT_NE(ref, nullptr) << row.name;
    EXPECT_EQ(XPLMGetDataRefTypes(ref), row.types) << row.name;
    EXPECT_EQ(XPLMCanWriteDataRef(ref), row.writable) << row.name;
  }
  // Gone from 12.
  EXPECT_EQ(Ref("sim/weather/thunderstorm_percent"), nullptr);
  EXPECT_EQ(Ref("sim/aircraft/overflow/acf_has_nav"), nullptr);
  EXPECT_EQ(Ref("sim/multiplayer/position/plane20_lat"), nullptr);
  EXPECT_EQ(Ref("x737/systems/afds/plugin_status"), nullptr);
}

TEST_F(HostTest, DefaultsDescribeAParkedTwin) {
  EXPECT_DOUBLE_EQ(XPLMGetDatad(Ref("sim/flightmodel/position/latitude")),
                   47.46);
  EXPECT_DOUBLE_EQ(XPLMGetDatad(Ref("sim/flightmodel/position/elevation")),
                   130);
  EXPECT_EQ(XPLMGetDatai(Ref("sim/aircraft/engine/acf_num_engines")), 2);
  EXPECT_EQ(
      XPLMGetDatavf(Ref("sim/flightmodel/engine/ENGN_N1_"), nullptr, 0, 0), 16);
  EXPECT_EQ(XPLMGetDatavf(Ref("sim/flightmodel/weight/m_fuel"), nullptr, 0, 0),
            9);
  EXPECT_EQ(
      XPLMGetDatavf(Ref("sim/aircraft/parts/acf_gear_deploy"), nullptr, 0, 0),
      10);
  EXPECT_GE(
      XPLMGetDatavi(Ref("sim/operation/failures/failures"), nullptr, 0, 0), 64);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/weather/barometer_sealevel_inhg")),
                  29.92f);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/weather/temperature_sealevel_c")), 15);
  // The quaternion agrees with the heading.
  float q[4];
  ASSERT_EQ(XPLMGetDatavf(Ref("sim/flightmodel/position/q"), q, 0, 4), 4);
  float psi = XPLMGetDataf(Ref("sim/flightmodel/position/psi"));
  EXPECT_NEAR(2 * std::atan2(q[3], q[0]) * 180 / M_PI, psi, 1e-3);
}

TEST_F(HostTest, NullAndUnknownHandlesReadZeroAndIgnoreWrites) {
  EXPECT_EQ(Ref("sim/no/such/dataref"), nullptr);
  EXPECT_EQ(XPLMFindDataRef(nullptr), nullptr);
  int garbage_storage = 0;
  for (XPLMDataRef ref : {static_cast<XPLMDataRef>(nullptr),
                          static_cast<XPLMDataRef>(&garbage_storage)}) {
    EXPECT_EQ(XPLMGetDatai(ref), 0);
    EXPECT_EQ(XPLMGetDataf(ref), 0);
    EXPECT_EQ(XPLMGetDatad(ref), 0);
    int ints[2] = {7, 7};
    float floats[2] = {7, 7};
    char bytes[2] = {7, 7};
    EXPECT_EQ(XPLMGetDatavi(ref, ints, 0, 2), 0);
    EXPECT_EQ(XPLMGetDatavf(ref, floats, 0, 2), 0);
    EXPECT_EQ(XPLMGetDatab(ref, bytes, 0, 2), 0);
    EXPECT_EQ(XPLMGetDatavi(ref, nullptr, 0, 0), 0);
    EXPECT_EQ(ints[0], 7);
    XPLMSetDatai(ref, 1);
    XPLMSetDataf(ref, 1);
    XPLMSetDatad(ref, 1);
    XPLMSetDatavi(ref, ints, 0, 2);
    XPLMSetDatavf(ref, floats, 0, 2);
    XPLMSetDatab(ref, bytes, 0, 2);
    EXPECT_EQ(XPLMGetDataRefTypes(ref), xplmType_Unknown);
    EXPECT_EQ(XPLMCanWriteDataRef(ref), 0);
  }
  EXPECT_EQ(garbage_storage, 0);
  EXPECT_TRUE(host().SetRecords().empty());
}

TEST_F(HostTest, WrongTypeAccessReadsZeroAndRecordsAnIgnoredSet) {
  XPLMDataRef flt = Ref("sim/cockpit/misc/barometer_setting");
  XPLMDataRef arr = Ref("sim/flightmodel/weight/m_fuel");
  EXPECT_EQ(XPLMGetDatai(flt), 0);
  EXPECT_EQ(XPLMGetDatad(flt), 0);
  EXPECT_EQ(XPLMGetDataf(arr), 0);
  int ints[1];
  EXPECT_EQ(XPLMGetDatavi(arr, ints, 0, 1), 0);

  XPLMSetDatai(flt, 30);
  XPLMSetDataf(arr, 12);
  EXPECT_FLOAT_EQ(host().GetFloat("sim/cockpit/misc/barometer_setting"),
                  29.92f);
  EXPECT_FLOAT_EQ(host().GetFloatElement("sim/flightmodel/weight/m_fuel", 0),
                  90);
  auto records = host().TakeSetRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, DataType::kInt);
  EXPECT_FALSE(records[0].applied);
  EXPECT_EQ(records[1].name, "sim/flightmodel/weight/m_fuel");
  EXPECT_EQ(records[1].type, DataType::kFloat);
  EXPECT_FALSE(records[1].applied);
}

TEST_F(HostTest, ScalarsKeepThePrecisionOfTheirType) {
  XPLMSetDataf(Ref("sim/time/sim_speed"), 3.7f);  // int: wrong type
  XPLMSetDatai(Ref("sim/time/sim_speed"), 4);
  XPLMSetDataf(Ref("sim/cockpit/autopilot/altitude"), 1234.5f);
  XPLMSetDatad(Ref("sim/flightmodel/position/local_y"), 1234.123456789);
  EXPECT_EQ(XPLMGetDatai(Ref("sim/time/sim_speed")), 4);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/cockpit/autopilot/altitude")), 1234.5f);
  EXPECT_DOUBLE_EQ(XPLMGetDatad(Ref("sim/flightmodel/position/local_y")),
                   1234.123456789);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/flightmodel/position/local_y")),
                  1234.123456789f);
}

// Array reads and writes stay inside the array for every offset and count.
TEST_F(HostTest, ArrayCallsAreClampedToTheArray) {
  host().DefineIntArray("test/ints", {10, 11, 12, 13});
  host().DefineFloatArray("test/floats", {0.5f, 1.5f, 2.5f, 3.5f});
  XPLMDataRef ints = Ref("test/ints");
  XPLMDataRef floats = Ref("test/floats");
  EXPECT_EQ(XPLMGetDatavi(ints, nullptr, 0, 0), 4);
  EXPECT_EQ(XPLMGetDatavf(floats, nullptr, 99, -5), 4);

  struct Case {
    int offset, max, copied, first;
  };
  const Case cases[] = {
      {0, 4, 4, 10},       {1, 2, 2, 11},
      {3, 10, 1, 13},      {4, 1, 0, -1},
      {-1, 2, 0, -1},      {0, 0, 0, -1},
      {0, -3, 0, -1},      {2, 1 << 30, 2, 12},
      {1 << 30, 1, 0, -1}, {-(1 << 30), 1 << 30, 0, -1},
  };
  for (const Case& c : cases) {
    int out[8];
    float fout[8];
    std::fill(std::begin(out), std::end(out), -1);
    std::fill(std::begin(fout), std::end(fout), -1.0f);
    // No case copies more than the array holds, so `out` is big enough.
    EXPECT_EQ(XPLMGetDatavi(ints, out, c.offset, c.max), c.copied)
        << c.offset << "/" << c.max;
    EXPECT_EQ(out[0], c.first) << c.offset << "/" << c.max;
    EXPECT_EQ(out[c.copied], -1) << "wrote past the copied elements";
    EXPECT_EQ(XPLMGetDatavf(floats, fout, c.offset, c.max), c.copied);
  }

  int in[3] = {100, 101, 102};
  XPLMSetDatavi(ints, in, 2, 3);  // only two fit
  XPLMSetDatavi(ints, in, -1, 3);
  XPLMSetDatavi(ints, in, 4, 1);
  XPLMSetDatavi(ints, nullptr, 0, 3);
  EXPECT_EQ(host().GetIntElement("test/ints", 1), 11);
  EXPECT_EQ(host().GetIntElement("test/ints", 2), 100);
  EXPECT_EQ(host().GetIntElement("test/ints", 3), 101);
  EXPECT_EQ(host().ArraySize("test/ints"), 4);
  auto records = host().TakeSetRecords();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].offset, 2);
  EXPECT_EQ(records[0].values, (std::vector<double>{100, 101, 102}));
  EXPECT_TRUE(records[0].applied);
  EXPECT_FALSE(records[1].applied);
  EXPECT_FALSE(records[2].applied);
  EXPECT_TRUE(records[3].values.empty());
}

TEST_F(HostTest, ByteArraysAreClampedAndRecorded) {
  host().DefineBytes("test/bytes", std::string("ABCDEF", 6));
  XPLMDataRef ref = Ref("test/bytes");
  EXPECT_EQ(XPLMGetDatab(ref, nullptr, 0, 0), 6);
  char out[8] = {};
  EXPECT_EQ(XPLMGetDatab(ref, out, 4, 8), 2);
  EXPECT_EQ(std::string(out, 2), "EF");
  EXPECT_EQ(XPLMGetDatab(ref, out, -2, 4), 0);
  EXPECT_EQ(XPLMGetDatab(ref, out, 6, 4), 0);

  char in[] = "xyz";
  XPLMSetDatab(ref, in, 4, 3);
  XPLMSetDatab(ref, in, -1, 3);
  EXPECT_EQ(host().GetBytes("test/bytes"), "ABCDxy");
  auto records = host().TakeSetRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, DataType::kBytes);
  EXPECT_EQ(records[0].offset, 4);
  EXPECT_EQ(records[0].bytes, "xyz");
}

TEST_F(HostTest, SetRecordsFollowThePluginsCallsInOrder) {
  host().SetInt("sim/time/paused", 1);  // test-side: not recorded
  XPLMSetDatai(Ref("sim/cockpit/radios/com1_freq_hz"), 12345);
  XPLMSetDataf(Ref("sim/flightmodel/controls/elv_trim"), -0.25f);
  float one = 0.75f;
  XPLMSetDatavf(Ref("sim/cockpit2/engine/actuators/throttle_ratio"), &one, 1,
                1);
  std::vector<SetRecord> records = host().SetRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].name, "sim/cockpit/radios/com1_freq_hz");
  EXPECT_EQ(records[0].values, std::vector<double>{12345});
  EXPECT_EQ(records[1].type, DataType::kFloat);
  EXPECT_EQ(records[1].values, std::vector<double>{-0.25});
  EXPECT_EQ(records[2].type, DataType::kFloatArray);
  EXPECT_EQ(records[2].offset, 1);
  EXPECT_FLOAT_EQ(
      host().GetFloatElement("sim/cockpit2/engine/actuators/throttle_ratio", 1),
      0.75f);
  EXPECT_EQ(host().TakeSetRecords().size(), 3u);
  EXPECT_TRUE(host().SetRecords().empty());
}

// As the simulator ignores the write; a plugin should have asked first, so
// the write is a host error too.
TEST_F(HostTest, ReadOnlyDatarefsIgnoreThePlugin) {
  XPLMDataRef ref = Ref("sim/time/paused");
  EXPECT_EQ(XPLMCanWriteDataRef(ref), 0);
  XPLMSetDatai(ref, 1);
  EXPECT_EQ(XPLMGetDatai(ref), 0);
  EXPECT_FALSE(host().TakeSetRecords().at(0).applied);
  EXPECT_EQ(host().TakeHostErrors(),
            std::vector<std::string>{
                "XPLMSetDatai on the read-only dataref sim/time/paused"});
  host().SetInt("sim/time/paused", 1);  // tests may still change it
  EXPECT_EQ(XPLMGetDatai(ref), 1);
}

TEST_F(HostTest, OlderHostHasWhatTwelveDropped) {
  const float knots = host().GetFloat("sim/weather/wind_speed_kt[1]") *
                      static_cast<float>(host().WindSpeedUnitKnots());
  EXPECT_FLOAT_EQ(knots, 15);  // the table's knots, held in metres/second
  host().UseOlderHost();
  EXPECT_TRUE(host().IsOlderHost());
  EXPECT_FLOAT_EQ(host().GetFloat("sim/weather/wind_speed_kt[1]"), 15);
  EXPECT_DOUBLE_EQ(host().WindSpeedUnitKnots(), 1);
  int xp = 0;
  XPLMGetVersions(&xp, nullptr, nullptr);
  EXPECT_EQ(xp, 11550);
  XPLMDataRef failures = Ref("sim/operation/failures/failures");
  EXPECT_EQ(XPLMCanWriteDataRef(failures), 1);
  EXPECT_EQ(XPLMGetDatavi(failures, nullptr, 0, 0), 600);
  EXPECT_NE(Ref("sim/weather/thunderstorm_percent"), nullptr);
  EXPECT_NE(Ref("sim/cockpit/radios/nav2_course_degt"), nullptr);
  host().Reset();
  EXPECT_FALSE(host().IsOlderHost());
  EXPECT_EQ(Ref("sim/weather/thunderstorm_percent"), nullptr);
}

TEST_F(HostTest, UndefinedDatarefKeepsItsHandleSafeAndRevives) {
  host().DefineFloat("test/value", 2.5f);
  XPLMDataRef ref = Ref("test/value");
  host().Undefine("test/value");
  EXPECT_FALSE(host().IsDefined("test/value"));
  EXPECT_EQ(Ref("test/value"), nullptr);
  EXPECT_EQ(XPLMGetDataf(ref), 0);
  XPLMSetDataf(ref, 9);
  host().DefineFloat("test/value", 4.0f);
  EXPECT_EQ(Ref("test/value"), ref);
  EXPECT_EQ(XPLMGetDataf(ref), 4.0f);
}

// --- Commands and inputs ---------------------------------------------------

TEST_F(HostTest, CommandsButtonsAndKeysAreRecorded) {
  XPLMCommandRef approach = XPLMFindCommand("sim/autopilot/approach");
  XPLMCommandRef starter = XPLMFindCommand("sim/starters/engage_starter_4");
  ASSERT_NE(approach, nullptr);
  ASSERT_NE(starter, nullptr);
  EXPECT_EQ(XPLMFindCommand("sim/no/such/command"), nullptr);
  XPLMCommandOnce(approach);
  XPLMCommandBegin(starter);
  XPLMCommandEnd(starter);
  XPLMCommandOnce(nullptr);
  XPLMCommandButtonPress(42);
  XPLMCommandButtonRelease(42);
  XPLMCommandKeyStroke(7);
  auto commands = host().TakeCommands();
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].name, "sim/autopilot/approach");
  EXPECT_EQ(commands[0].phase, CommandPhase::kOnce);
  EXPECT_EQ(commands[1].phase, CommandPhase::kBegin);
  EXPECT_EQ(commands[2].phase, CommandPhase::kEnd);
  auto inputs = host().TakeInputs();
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(inputs[0].kind, InputKind::kButtonPress);
  EXPECT_EQ(inputs[1].kind, InputKind::kButtonRelease);
  EXPECT_EQ(inputs[2].kind, InputKind::kKeyStroke);
  EXPECT_EQ(inputs[2].code, 7);
  EXPECT_TRUE(host().TakeCommands().empty());
}

// --- Flight loop -------------------------------------------------------------

// Each callback appends "<tag>@<frame>" to a shared log and returns what
// its Probe says.
struct Probe {
  const char* tag;
  float next;
  std::vector<std::string>* log;
  float last_elapsed = 0;
  float last_loop_elapsed = 0;
  int last_counter = 0;
};

float ProbeLoop(float since_call, float since_loop, int counter, void* refcon) {
  auto* p = static_cast<Probe*>(refcon);
  p->log->push_back(std::string(p->tag) + "@" + std::to_string(counter));
  p->last_elapsed = since_call;
  p->last_loop_elapsed = since_loop;
  p->last_counter = counter;
  return p->next;
}

TEST_F(HostTest, FlightLoopIntervalsFollowTheirSign) {
  std::vector<std::string> log;
  Probe next_frame{"n", 0, &log};      // -1 once, then 0: runs once
  Probe half_second{"h", 0.5f, &log};  // every 0.5 s
  Probe every_3{"e", -3, &log};        // every third frame after the first
  Probe parked{"p", -1, &log};         // registered with 0: never runs
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &next_frame);
  XPLMRegisterFlightLoopCallback(ProbeLoop, 0.5f, &half_second);
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &every_3);
  XPLMRegisterFlightLoopCallback(ProbeLoop, 0, &parked);
  EXPECT_EQ(host().ScheduledFlightLoopCount(), 3);
  host().StepFrames(61, 1.0f / 60);
  // Within a frame, registration order.
  std::vector<std::string> expected;
  for (int f = 1; f <= 61; ++f) {
    std::string at = "@" + std::to_string(f);
    if (f == 1) expected.push_back("n" + at);
    if (f == 30 || f == 60) expected.push_back("h" + at);
    if ((f - 1) % 3 == 0) expected.push_back("e" + at);
  }
  EXPECT_EQ(log, expected);
  EXPECT_TRUE(host().IsFlightLoopRegistered(ProbeLoop, &parked));
  EXPECT_TRUE(host().IsFlightLoopRegistered(ProbeLoop, &next_frame));
  EXPECT_NEAR(half_second.last_elapsed, 0.5f, 1e-4);
  EXPECT_NEAR(every_3.last_elapsed, 3.0f / 60, 1e-4);
  EXPECT_NEAR(every_3.last_loop_elapsed, 1.0f / 60, 1e-6);
  EXPECT_EQ(every_3.last_counter, 61);
}

TEST_F(HostTest, SetIntervalAndReRegisterReschedule) {
  std::vector<std::string> log;
  Probe p{"p", 0, &log};
  XPLMRegisterFlightLoopCallback(ProbeLoop, 0, &p);
  XPLMSetFlightLoopCallbackInterval(ProbeLoop, -2, 1, &p);
  host().StepFrames(3);
  // Registering an already registered pair is a host error; it is
  // scheduled again, once.
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &p);
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &p);
  EXPECT_EQ(host().TakeHostErrors(),
            std::vector<std::string>(2,
                                     "XPLMRegisterFlightLoopCallback of a "
                                     "callback that is registered already"));
  host().StepFrames(2);
  EXPECT_EQ(log, (std::vector<std::string>{"p@2", "p@4"}));
  XPLMUnregisterFlightLoopCallback(ProbeLoop, &p);
  EXPECT_FALSE(host().IsFlightLoopRegistered(ProbeLoop, &p));
  XPLMSetFlightLoopCallbackInterval(ProbeLoop, -1, 1, &p);  // unknown: no-op
  host().StepFrames(2);
  EXPECT_EQ(log.size(), 2u);
}

struct Meddler {
  std::vector<std::string>* log;
  Probe* victim = nullptr;    // unregistered by this callback
  Probe* newcomer = nullptr;  // registered by this callback
  bool unregister_self = false;
};

float MeddlingLoop(float, float, int counter, void* refcon) {
  auto* m = static_cast<Meddler*>(refcon);
  m->log->push_back("m@" + std::to_string(counter));
  if (m->victim != nullptr) {
    XPLMUnregisterFlightLoopCallback(ProbeLoop, m->victim);
  }
  if (m->newcomer != nullptr) {
    XPLMRegisterFlightLoopCallback(ProbeLoop, -1, m->newcomer);
    m->newcomer = nullptr;
  }
  if (m->unregister_self) {
    XPLMUnregisterFlightLoopCallback(MeddlingLoop, refcon);
  }
  return -1;
}

TEST_F(HostTest, CallbacksMayUnregisterAndRegisterDuringARun) {
  std::vector<std::string> log;
  Probe victim{"v", -1, &log};
  Probe newcomer{"c", -1, &log};
  Meddler meddler{&log, &victim, &newcomer, true};
  XPLMRegisterFlightLoopCallback(MeddlingLoop, -1, &meddler);
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &victim);
  host().StepFrames(3);
  // The victim, due in the same frame, is not called once unregistered;
  // the newcomer starts on the next frame; the meddler ran once.
  EXPECT_EQ(log, (std::vector<std::string>{"m@1", "c@2", "c@3"}));
  EXPECT_FALSE(host().IsFlightLoopRegistered(MeddlingLoop, &meddler));
}

TEST_F(HostTest, StepFrameAdvancesTheClockDatarefs) {
  float zulu0 = XPLMGetDataf(Ref("sim/time/zulu_time_sec"));
  float local0 = XPLMGetDataf(Ref("sim/time/local_time_sec"));
  host().StepFrames(120, 0.5f);
  EXPECT_DOUBLE_EQ(host().ElapsedTime(), 60);
  EXPECT_EQ(host().FrameCount(), 120);
  EXPECT_EQ(XPLMGetCycleNumber(), 120);
  EXPECT_FLOAT_EQ(XPLMGetElapsedTime(), 60);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/time/total_running_time_sec")), 60);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/time/zulu_time_sec")), zulu0 + 60);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/time/local_time_sec")), local0 + 60);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/operation/misc/frame_rate_period")),
                  0.5f);
}

TEST_F(HostTest, ClockGoesOnFromASetTimeAndStopsWhilePaused) {
  XPLMDataRef zulu = Ref("sim/time/zulu_time_sec");
  XPLMDataRef local = Ref("sim/time/local_time_sec");
  float zone = XPLMGetDataf(local) - XPLMGetDataf(zulu);
  XPLMSetDataf(zulu, 3600);
  host().StepFrames(10, 1.0f);
  EXPECT_FLOAT_EQ(XPLMGetDataf(zulu), 3610);
  EXPECT_FLOAT_EQ(
      std::fmod(XPLMGetDataf(local) - XPLMGetDataf(zulu) + 86400, 86400),
      std::fmod(zone + 86400, 86400));
  host().SetInt("sim/time/paused", 1);
  host().StepFrames(10, 1.0f);
  EXPECT_FLOAT_EQ(XPLMGetDataf(zulu), 3610);
  EXPECT_FLOAT_EQ(XPLMGetDataf(Ref("sim/time/total_running_time_sec")), 20);
  host().SetInt("sim/time/paused", 0);
  host().SetFloat("sim/time/zulu_time_sec", 86399);  // wraps at midnight
  host().StepFrames(2, 1.0f);
  EXPECT_FLOAT_EQ(XPLMGetDataf(zulu), 1);
}

TEST_F(HostTest, FrameHookRunsBeforeTheCallbacks) {
  std::vector<std::string> log;
  Probe p{"p", -1, &log};
  XPLMRegisterFlightLoopCallback(ProbeLoop, -1, &p);
  host().SetFrameHook([&log](double now, float) {
    log.push_back("hook@" + std::to_string(static_cast<int>(now * 60 + 0.5)));
  });
  host().StepFrames(2);
  EXPECT_EQ(log, (std::vector<std::string>{"hook@1", "p@1", "hook@2", "p@2"}));
}

// --- Other plugins, aircraft -------------------------------------------------

TEST_F(HostTest, X737DatarefsFollowThePluginLoadingAndUnloading) {
  EXPECT_EQ(XPLMFindPluginBySignature("bs.x737.plugin"), XPLM_NO_PLUGIN_ID);
  XPLMPluginID id = host().AddPlugin("bs.x737.plugin");
  EXPECT_GT(id, 1);
  EXPECT_EQ(XPLMFindPluginBySignature("bs.x737.plugin"), id);
  EXPECT_EQ(XPLMIsPluginEnabled(id), 1);
  XPLMDataRef status = Ref("x737/systems/afds/plugin_status");
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(XPLMGetDatai(status), 1);
  EXPECT_EQ(XPLMGetDataRefTypes(Ref("x737/systems/athr/MCPSPD_spd")),
            xplmType_Float);
  EXPECT_NE(Ref("x737/systems/athr/MCPSPD_ismach"), nullptr);

  host().RemovePlugin("bs.x737.plugin");
  EXPECT_EQ(XPLMFindPluginBySignature("bs.x737.plugin"), XPLM_NO_PLUGIN_ID);
  EXPECT_EQ(Ref("x737/systems/afds/plugin_status"), nullptr);
  EXPECT_EQ(XPLMGetDatai(status), 0);  // the old handle is safe, reads 0
  XPLMSetDatai(status, 5);

  host().AddPlugin("GoodWay.XPushBack");
  EXPECT_NE(Ref("goodway/xpushback/PBstatus"), nullptr);
  host().AddPlugin("bs.x737.plugin");
  EXPECT_EQ(XPLMGetDatai(status), 1);
  EXPECT_EQ(XPLMCountPlugins(), 3);
}

TEST_F(HostTest, AircraftModelsAreBoundedAndTerminated) {
  std::string long_path = "/" + std::string(700, 'p') + "/x.acf";
  host().SetAircraft({{"user.acf", "/a/user.acf"},
                      {std::string(300, 'f'), long_path},
                      {"third.acf", "/a/third.acf"}},
                     2);
  int total = 0, active = 0, controller = 0;
  XPLMCountAircraft(&total, &active, &controller);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(active, 2);
  XPLMCountAircraft(nullptr, nullptr, nullptr);

  char file[256 + 8], path[512 + 8];
  std::memset(file, 'Z', sizeof(file));
  std::memset(path, 'Z', sizeof(path));
  XPLMGetNthAircraftModel(1, file, path);
  EXPECT_EQ(std::strlen(file), 255u);
  EXPECT_EQ(std::strlen(path), 511u);
  EXPECT_EQ(file[256], 'Z');
  EXPECT_EQ(path[512], 'Z');
  XPLMGetNthAircraftModel(0, file, path);
  EXPECT_STREQ(file, "user.acf");
  EXPECT_STREQ(path, "/a/user.acf");
  XPLMGetNthAircraftModel(7, file, path);
  EXPECT_STREQ(file, "");
  XPLMGetNthAircraftModel(-1, nullptr, nullptr);
}

TEST_F(HostTest, MessagesReachTheAttachedPlugin) {
  static std::vector<int> received;
  received.clear();
  PluginEntryPoints entry;
  entry.receive_message = [](XPLMPluginID from, int message, void* param) {
    received.insert(
        received.end(),
        {from, message, static_cast<int>(reinterpret_cast<intptr_t>(param))});
  };
  host().AttachPlugin(entry);
  host().SendMessageToPlugin(0, XPLM_MSG_PLANE_LOADED, nullptr);
  host().SendMessageToPlugin(0, XPLM_MSG_AIRPLANE_COUNT_CHANGED,
                             reinterpret_cast<void*>(3));
  EXPECT_EQ(received, (std::vector<int>{0, 102, 0, 0, 105, 3}));
  EXPECT_EQ(host().StartPlugin(), 0);  // no start entry point: refused
}

// --- Navaids, coordinates, paths ---------------------------------------------

TEST_F(HostTest, NavaidSearchMatchesEveryCriterion) {
  int ils = 11030, vor = 11680, ndb = 362;
  float lat = 47.46f, lon = -122.31f;
  struct Case {
    const char* what;
    const char* name;
    const char* id;
    bool at_position;
    int* frequency;
    XPLMNavType types;
    const char* expected_id;  // null: not found
    XPLMNavType expected_type;
  };
  const Case cases[] = {
      {"localizer by frequency", nullptr, nullptr, true, &ils,
       xplm_Nav_ILS | xplm_Nav_Localizer, "ISNQ", xplm_Nav_ILS},
      {"glide slope", nullptr, nullptr, true, &ils, xplm_Nav_GlideSlope, "ISNQ",
       xplm_Nav_GlideSlope},
      {"ILS DME is the nearer DME", nullptr, nullptr, true, nullptr,
       xplm_Nav_DME, "ISNQ", xplm_Nav_DME},
      {"VOR by frequency", nullptr, nullptr, false, &vor, xplm_Nav_VOR, "SEA",
       xplm_Nav_VOR},
      {"NDB in kHz", nullptr, nullptr, true, &ndb, xplm_Nav_NDB, "BF",
       xplm_Nav_NDB},
      {"id fragment, any case", nullptr, "snq", false, nullptr,
       xplm_Nav_GlideSlope, "ISNQ", xplm_Nav_GlideSlope},
      {"name fragment", "vortac", nullptr, false, nullptr, xplm_Nav_VOR, "SEA",
       xplm_Nav_VOR},
      {"type excluded", nullptr, nullptr, true, &vor, xplm_Nav_NDB, nullptr, 0},
      {"frequency unknown", nullptr, nullptr, true, &ndb, xplm_Nav_VOR, nullptr,
       0},
  };
  for (const Case& c : cases) {
    XPLMNavRef ref =
        XPLMFindNavAid(c.name, c.id, c.at_position ? &lat : nullptr,
                       c.at_position ? &lon : nullptr, c.frequency, c.types);
    if (c.expected_id == nullptr) {
      EXPECT_EQ(ref, XPLM_NAV_NOT_FOUND) << c.what;
      continue;
    }
    ASSERT_NE(ref, XPLM_NAV_NOT_FOUND) << c.what;
    XPLMNavType type;
    char id[32];
    XPLMGetNavAidInfo(ref, &type, nullptr, nullptr, nullptr, nullptr, nullptr,
                      id, nullptr, nullptr);
    EXPECT_STREQ(id, c.expected_id) << c.what;
    EXPECT_EQ(type, c.expected_type) << c.what;
  }
}

TEST_F(HostTest, NavaidInfoFillsWhatIsAskedFor) {
  host().ClearNavaids();
  Navaid n;
  n.type = xplm_Nav_NDB;
  n.latitude = 1.5f;
  n.longitude = 2.5f;
  n.frequency = 300;
  n.id = std::string(40, 'I');  // longer than the 32-byte id buffer
  n.name = "Test NDB";
  XPLMNavRef ref = host().AddNavaid(n);
  XPLMNavType type;
  float lat, lon, height, heading;
  int freq;
  char id[32], name[256], reg;
  XPLMGetNavAidInfo(ref, &type, &lat, &lon, &height, &freq, &heading, id, name,
                    &reg);
  EXPECT_EQ(type, xplm_Nav_NDB);
  EXPECT_FLOAT_EQ(lat, 1.5f);
  EXPECT_EQ(freq, 300);
  EXPECT_EQ(std::strlen(id), 31u);
  EXPECT_STREQ(name, "Test NDB");
  XPLMGetNavAidInfo(ref, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr);
  // A failed search's reference leaves the caller's values alone.
  for (XPLMNavRef missing : {XPLM_NAV_NOT_FOUND, 99}) {
    XPLMGetNavAidInfo(missing, &type, &lat, nullptr, nullptr, nullptr, nullptr,
                      id, nullptr, nullptr);
    EXPECT_EQ(type, xplm_Nav_NDB);
    EXPECT_FLOAT_EQ(lat, 1.5f);
    EXPECT_EQ(std::strlen(id), 31u);
  }
}

TEST_F(HostTest, LocalCoordinatesRoundTripAndMoveTheAircraft) {
  double x, y, z, lat, lon, alt;
  XPLMWorldToLocal(47.46, -122.31, 130, &x, &y, &z);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_NEAR(z, 0, 1e-6);
  EXPECT_DOUBLE_EQ(y, 130);
  XPLMWorldToLocal(47.47, -122.30, 500, &x, &y, &z);
  EXPECT_GT(x, 0);  // east
  EXPECT_LT(z, 0);  // north is negative z
  XPLMLocalToWorld(x, y, z, &lat, &lon, &alt);
  EXPECT_NEAR(lat, 47.47, 1e-9);
  EXPECT_NEAR(lon, -122.30, 1e-9);
  EXPECT_DOUBLE_EQ(alt, 500);

  XPLMSetDatad(Ref("sim/flightmodel/position/local_x"), x);
  XPLMSetDatad(Ref("sim/flightmodel/position/local_y"), y);
  XPLMSetDatad(Ref("sim/flightmodel/position/local_z"), z);
  EXPECT_NEAR(host().GetDouble("sim/flightmodel/position/latitude"), 47.47,
              1e-9);
  EXPECT_NEAR(host().GetDouble("sim/flightmodel/position/longitude"), -122.30,
              1e-9);
  EXPECT_DOUBLE_EQ(host().GetDouble("sim/flightmodel/position/elevation"), 500);
}

TEST_F(HostTest, SystemFolderIsFreshPerResetAndEndsWithSeparator) {
  char path[512];
  XPLMGetSystemPath(path);
  std::string first = path;
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(first));
  EXPECT_STREQ(XPLMGetDirectorySeparator(), "/");
  host().Reset();
  XPLMGetSystemPath(path);
  EXPECT_NE(first, path);
  EXPECT_FALSE(std::filesystem::exists(first));  // the old one is gone
  host().SetSystemPath("/tmp/somewhere");
  EXPECT_EQ(host().SystemPath(), "/tmp/somewhere/");
  host().SetSystemPath(path);  // back, so TearDown removes it

  int xp = 0, xplm = 0, app = 0;
  XPLMGetVersions(&xp, &xplm, &app);
  EXPECT_EQ(xp, 12100);
  EXPECT_EQ(xplm, 301);
  EXPECT_EQ(app, xplm_Host_XPlane);
  host().SetXPlaneVersion(12000);
  XPLMGetVersions(&xp, nullptr, nullptr);
  EXPECT_EQ(xp, 12000);
}

// --- Menus, windows, widgets
// ---------------------------------------------------

struct MenuChoice {
  void* menu_ref = nullptr;
  void* item_ref = nullptr;
  int calls = 0;
};
MenuChoice g_choice;

void RecordChoice(void* menu_ref, void* item_ref) {
  g_choice.menu_ref = menu_ref;
  g_choice.item_ref = item_ref;
  ++g_choice.calls;
}

TEST_F(HostTest, MenusHangUnderThePluginsMenuAndCallTheirHandler) {
  g_choice = {};
  XPLMMenuID plugins = XPLMFindPluginsMenu();
  EXPECT_EQ(plugins, host().PluginsMenu());
  int item = XPLMAppendMenuItem(plugins, "Mine", nullptr, 1);
  int marker = 0;
  XPLMMenuID menu =
      XPLMCreateMenu("Mine", plugins, item, RecordChoice, &marker);
  XPLMAppendMenuItem(menu, "First", const_cast<char*>("one"), 0);
  XPLMAppendMenuSeparator(menu);
  EXPECT_EQ(host().LiveMenuCount(), 1);
  EXPECT_EQ(host().MenuItems(plugins).at(item).submenu, menu);
  EXPECT_EQ(host().MenuName(menu), "Mine");
  ASSERT_EQ(host().MenuItems(menu).size(), 2u);
  host().ChooseMenuItem(menu, 0);
  EXPECT_EQ(g_choice.calls, 1);
  EXPECT_EQ(g_choice.menu_ref, &marker);
  EXPECT_STREQ(static_cast<const char*>(g_choice.item_ref), "one");
  host().ChooseMenuItem(menu, 5);  // no such item
  EXPECT_EQ(g_choice.calls, 1);
  XPLMDestroyMenu(menu);
  EXPECT_TRUE(host().HostErrors().empty());
  XPLMDestroyMenu(menu);  // twice: a host error, and nothing else
  XPLMDestroyMenu(nullptr);
  XPLMDestroyMenu(plugins);  // the host's own
  EXPECT_EQ(
      host().TakeHostErrors(),
      (std::vector<std::string>{"XPLMDestroyMenu of a menu that does not exist",
                                "XPLMDestroyMenu of a menu that does not exist",
                                "XPLMDestroyMenu of the plugins menu"}));
  EXPECT_TRUE(host().MenuExists(plugins));
  EXPECT_FALSE(host().MenuExists(menu));
  EXPECT_EQ(host().MenuItems(plugins).at(item).submenu, nullptr);
  host().ChooseMenuItem(menu, 0);
  EXPECT_EQ(host().LiveMenuCount(), 0);
}

void DrawHello(XPLMWindowID, void*) {
  float white[3] = {1, 1, 1};
  char text[] = "hello";
  XPLMDrawTranslucentDarkBox(0, 10, 10, 0);
  XPLMDrawString(white, 0, 0, text, nullptr, xplmFont_Basic);
}

TEST_F(HostTest, WindowsDrawIntoTheRecord) {
  XPLMWindowID w = XPLMCreateWindow(10, 200, 300, 100, 1, DrawHello, nullptr,
                                    nullptr, nullptr);
  ASSERT_EQ(host().Windows().size(), 1u);
  EXPECT_EQ(host().GetWindowInfo(w).right, 300);
  int left = 0, top = 0;
  XPLMGetWindowGeometry(w, &left, &top, nullptr, nullptr);
  EXPECT_EQ(left, 10);
  EXPECT_EQ(top, 200);
  host().DrawWindow(w);
  EXPECT_EQ(host().TakeDrawnStrings(), std::vector<std::string>{"hello"});
  EXPECT_EQ(host().ClickWindow(w, 1, 1, xplm_MouseDown), 0);
  XPLMDestroyWindow(w);
  EXPECT_TRUE(host().Windows().empty());
  EXPECT_TRUE(host().HostErrors().empty());
  XPLMDestroyWindow(w);  // twice, and one that never was: host errors
  XPLMDestroyWindow(nullptr);
  EXPECT_EQ(host().TakeHostErrors(),
            (std::vector<std::string>{
                "XPLMDestroyWindow of a window destroyed already",
                "XPLMDestroyWindow of a window that does not exist"}));
  host().DrawWindow(w);
  XPLMGetWindowGeometry(w, &left, nullptr, nullptr, nullptr);
  EXPECT_TRUE(host().TakeDrawnStrings().empty());
}

std::vector<std::pair<XPWidgetMessage, intptr_t>> g_widget_messages;

int RecordWidgetMessage(XPWidgetMessage message, XPWidgetID, intptr_t param1,
                        intptr_t) {
  g_widget_messages.emplace_back(message, param1);
  return message == xpMessage_CloseButtonPushed ||
         message == xpMsg_PushButtonPressed;
}

TEST_F(HostTest, WidgetsFormATreeAndPassMessagesUp) {
  g_widget_messages.clear();
  XPWidgetID window = XPCreateWidget(0, 100, 100, 0, 1, "Settings", 1, nullptr,
                                     xpWidgetClass_MainWindow);
  XPWidgetID button =
      XPCreateWidget(10, 90, 50, 80, 1, "OK", 0, window, xpWidgetClass_Button);
  XPWidgetID field =
      XPCreateWidget(10, 70, 50, 60, 1, "", 0, window, xpWidgetClass_TextField);
  XPAddWidgetCallback(window, RecordWidgetMessage);
  EXPECT_EQ(host().FindWidget(window, "OK"), button);
  EXPECT_EQ(host().FindWidget(button, "Settings"), nullptr);
  EXPECT_EQ(host().GetWidgetInfo(button).container, window);
  EXPECT_TRUE(host().GetWidgetInfo(window).is_root);

  host().PressButton(button);  // handled by the window's callback
  host().ClickCloseBox(window);
  ASSERT_EQ(g_widget_messages.size(), 2u);
  EXPECT_EQ(g_widget_messages[0].first, xpMsg_PushButtonPressed);
  EXPECT_EQ(g_widget_messages[0].second, reinterpret_cast<intptr_t>(button));
  EXPECT_EQ(g_widget_messages[1].first, xpMessage_CloseButtonPushed);

  XPSetWidgetProperty(field, xpProperty_MaxCharacters, 4);
  host().TypeText(field, "ABCDEFG");
  char text[3];
  EXPECT_EQ(XPGetWidgetDescriptor(field, text, sizeof(text)), 4);
  EXPECT_STREQ(text, "AB");
  EXPECT_EQ(XPGetWidgetDescriptor(field, nullptr, 0), 4);

  int exists = -1;
  EXPECT_EQ(XPGetWidgetProperty(field, xpProperty_MaxCharacters, &exists), 4);
  EXPECT_EQ(exists, 1);
  XPGetWidgetProperty(field, xpProperty_ScrollBarMax, &exists);
  EXPECT_EQ(exists, 0);
  XPHideWidget(button);
  EXPECT_EQ(XPIsWidgetVisible(button), 0);
  XPShowWidget(button);
  EXPECT_EQ(XPIsWidgetVisible(button), 1);

  g_widget_messages.clear();
  XPDestroyWidget(window, 1);
  EXPECT_TRUE(host().Widgets().empty());
  ASSERT_EQ(g_widget_messages.size(), 1u);
  EXPECT_EQ(g_widget_messages[0].first, xpMsg_Destroy);
  // Every call on a destroyed widget is harmless.
  XPSetWidgetDescriptor(button, "x");
  EXPECT_EQ(XPIsWidgetVisible(field), 0);
  host().PressButton(button);
  XPDestroyWidget(button, 1);
}

TEST_F(HostTest, CheckBoxesToggleTheirState) {
  g_widget_messages.clear();
  XPWidgetID box = XPCreateWidget(0, 10, 10, 0, 1, "Trace reads", 0, nullptr,
                                  xpWidgetClass_Button);
  XPSetWidgetProperty(box, xpProperty_ButtonBehavior, xpButtonBehaviorCheckBox);
  XPAddWidgetCallback(box, RecordWidgetMessage);
  host().PressButton(box);
  host().PressButton(box);
  ASSERT_EQ(g_widget_messages.size(), 2u);
  EXPECT_EQ(g_widget_messages[0].first, xpMsg_ButtonStateChanged);
  EXPECT_EQ(host().WidgetProperty(box, xpProperty_ButtonState), 0);
  XPDestroyWidget(box, 0);
}

// Without children destroyed, they stay alive and lose their container.
TEST_F(HostTest, DestroyingAWidgetAloneOrphansItsChildren) {
  XPWidgetID parent = XPCreateWidget(0, 1, 1, 0, 1, "p", 1, nullptr, 1);
  XPWidgetID child = XPCreateWidget(0, 1, 1, 0, 1, "c", 0, parent, 3);
  XPDestroyWidget(parent, 0);
  ASSERT_EQ(host().Widgets().size(), 1u);
  EXPECT_EQ(host().GetWidgetInfo(child).container, nullptr);
}

// --- Threads
// -------------------------------------------------------------------

// The plugin's worker threads use the data and command calls while the main
// thread runs the flight loop; run under ThreadSanitizer this must be clean.
float BusyLoop(float, float, int, void*) {
  XPLMSetDataf(XPLMFindDataRef("sim/flightmodel/controls/elv_trim"), 0.1f);
  return -1;
}

// Each worker makes at least 200 rounds of calls, so they overlap the flight
// loop however the threads are scheduled.
TEST_F(HostTest, WorkerThreadsAndTheFlightLoopShareTheHostSafely) {
  XPLMRegisterFlightLoopCallback(BusyLoop, -1, nullptr);
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t) {
    workers.emplace_back([&stop, t] {
      XPLMDataRef trim = XPLMFindDataRef("sim/flightmodel/controls/elv_trim");
      XPLMDataRef n1 = XPLMFindDataRef("sim/flightmodel/engine/ENGN_N1_");
      XPLMCommandRef cmd = XPLMFindCommand("sim/autopilot/approach");
      for (int round = 0; round < 200 || !stop.load(); ++round) {
        XPLMGetDataf(trim);
        float v = static_cast<float>(t);
        XPLMSetDatavf(n1, &v, t, 1);
        XPLMCommandOnce(cmd);
      }
    });
  }
  host().StepFrames(200);
  stop = true;
  for (auto& w : workers) w.join();
  EXPECT_GE(host().TakeSetRecords().size(), 200u + 3 * 200u);
  EXPECT_GE(host().TakeCommands().size(), 3 * 200u);
}

// The simulator serves flight-loop, menu, window and widget calls on its
// main thread only: from any other thread each is a host error (and is
// still carried out, so the test can go on).
TEST_F(HostTest, MainThreadOnlyCallsFromAnotherThreadAreHostErrors) {
  XPLMWindowID window = nullptr;
  XPWidgetID widget = nullptr;
  std::thread worker([&] {
    XPLMRegisterFlightLoopCallback(BusyLoop, 1, nullptr);
    XPLMSetFlightLoopCallbackInterval(BusyLoop, 2, 1, nullptr);
    XPLMUnregisterFlightLoopCallback(BusyLoop, nullptr);
    XPLMAppendMenuItem(XPLMFindPluginsMenu(), "x", nullptr, 0);
    window =
        XPLMCreateWindow(0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
    int width = 0;
    XPLMGetScreenSize(&width, nullptr);
    XPLMDestroyWindow(window);
    widget = XPCreateWidget(0, 1, 1, 0, 1, "w", 1, nullptr,
                            xpWidgetClass_MainWindow);
    XPSetWidgetDescriptor(widget, "v");
    XPDestroyWidget(widget, 1);
  });
  worker.join();
  const std::string other = " called from a thread other than the main thread";
  EXPECT_EQ(host().TakeHostErrors(),
            (std::vector<std::string>{
                "XPLMRegisterFlightLoopCallback" + other,
                "XPLMSetFlightLoopCallbackInterval" + other,
                "XPLMUnregisterFlightLoopCallback" + other,
                "XPLMFindPluginsMenu" + other,
                "XPLMAppendMenuItem" + other,
                "XPLMCreateWindow" + other,
                "XPLMGetScreenSize" + other,
                "XPLMDestroyWindow" + other,
                "XPCreateWidget" + other,
                "XPSetWidgetDescriptor" + other,
                "XPDestroyWidget" + other,
            }));
  EXPECT_TRUE(host().Windows().empty());
  EXPECT_TRUE(host().Widgets().empty());
  // The same calls from the main thread are in order.
  XPLMRegisterFlightLoopCallback(BusyLoop, 1, nullptr);
  XPLMUnregisterFlightLoopCallback(BusyLoop, nullptr);
  XPLMDestroyWindow(
      XPLMCreateWindow(0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr));
  EXPECT_TRUE(host().HostErrors().empty());
}

// Reset starts a fresh host but keeps the errors for the end-of-test check;
// only taking them clears them.
TEST_F(HostTest, HostErrorsOutliveAResetUntilTaken) {
  XPLMDestroyWindow(nullptr);
  host().Reset();
  EXPECT_EQ(host().HostErrors().size(), 1u);
  EXPECT_EQ(host().TakeHostErrors().size(), 1u);
  EXPECT_TRUE(host().HostErrors().empty());
}

// The read latch runs on the reading thread after the value was read, with
// the host free to be called again, and only for live datarefs.
TEST_F(HostTest, ReadHookRunsAfterEveryGetterOfALiveDataref) {
  std::vector<std::string> reads;
  host().SetReadHook([&](const std::string& name) {
    reads.push_back(name);
    XPLMGetDatai(nullptr);  // the host's mutex is not held
  });
  XPLMGetDataf(Ref("sim/flightmodel/position/y_agl"));
  XPLMGetDatad(Ref("sim/flightmodel/position/latitude"));
  XPLMGetDatai(Ref("sim/no/such/dataref"));
  float n1[2];
  XPLMGetDatavf(Ref("sim/flightmodel/engine/ENGN_N1_"), n1, 0, 2);
  EXPECT_EQ(reads,
            (std::vector<std::string>{"sim/flightmodel/position/y_agl",
                                      "sim/flightmodel/position/latitude",
                                      "sim/flightmodel/engine/ENGN_N1_"}));
  host().Reset();
  XPLMGetDataf(Ref("sim/flightmodel/position/y_agl"));
  EXPECT_EQ(reads.size(), 3u);
}

}  // namespace
}  // namespace simhost

// --- The test harness
// -----------------------------------------------------------

namespace tarvos::testing {
namespace {

class HarnessTest : public PluginFixture {};

TEST_F(HarnessTest, RunsThePluginThroughItsLifecycle) {
  StartAndEnable();
  EXPECT_EQ(host().PluginName(), "TARVOS/TARNET");
  EXPECT_TRUE(host().PluginEnabled());
  EXPECT_NE(StatusLogText().find("TARVOS Enable !"), std::string::npos);
  Frames(60);
  Poke(0x66C0, {0x34, 0x12, 0x78, 0x56});
  EXPECT_EQ(U16(0x66C0), 0x1234);
  EXPECT_EQ(U32(0x66C0), 0x56781234u);
  // Past the end of the offset space the copy reads zeros.
  Poke(0xFFFE, {0xAB, 0xCD, 0xEF});
  EXPECT_EQ(Bytes(0xFFFE, 4), (std::vector<uint8_t>{0xAB, 0xCD, 0, 0}));
  Disable();
  EXPECT_NE(StatusLogText().find("TARVOS Disable !"), std::string::npos);
}

}  // namespace
}  // namespace tarvos::testing
