// Catalogue rows of the engine and fuel offsets: the four engine blocks
// as one row set (engine n's item is engine 1's plus (n - 1) x 0x98; rows
// for engines 1 and 2 only repeat twice, rows for engines 3 and 4 start at
// record 3), the engine type and count, tank capacities and levels, the
// f64 copies and the write-only levers and switches.
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

constexpr uint16_t kStride = 0x98;
// Levers and ratios stored as ratio x 16384.
constexpr double kRatio16384 = 1.0 / 16384;
constexpr double kN = 1.0 / 163.84;
// A tank level, fraction x 2^23, as a percentage.
constexpr double kLevelPercent = 100.0 / 8388608;
constexpr double kRpmPerRadPerSecond = 9.5492965855;

// clang-format off
constexpr OffsetRow kEngines[] = {
    Row(0x0506, 1, kBits, kR, kCallbackD, "engine.#.starter_flags", "", 1,
        "Bit 0 set while a jet's or turboprop's starter turns")
        .Table(2, 1),
    Row(0x0609, 1, kU8, kR, kAircraftLoad, "engine.type", "", 1,
        "Engine type: 0 piston, 1 jet, 4 rocket, 5 turboprop"),
    Row(0x088C, 2, kS16, kRW, kCallbackA, "engine.#.throttle_lever", "",
        kRatio16384,
        "Throttle lever: forward 0 to 16384; reverse (negative) -4096 full")
        .Table(4, kStride),
    Row(0x0890, 2, kS16, kRW, kCallbackC, "engine.#.mixture", "", kRatio16384,
        "Mixture lever, 0 to 16384").Table(2, kStride),
    Row(0x0892, 2, kU16, kRW, kCallbackD, "engine.#.starter", "", 1,
        "Starter: piston 0 off, 1 right, 2 left, 3 both magnetos, 4 "
        "starting; jet 1 starting")
        .Table(2, kStride),
    Row(0x0894, 2, kU16, kR, kCallbackC, "engine.#.running", "", 1,
        "1 while the engine runs").Table(2, kStride),
    Row(0x0896, 2, kS16, kR, kCallbackA, "engine.#.n2", "%", kN, "N2")
        .Table(2, kStride),
    Row(0x0898, 2, kS16, kR, kCallbackA, "engine.#.n1", "%", kN, "N1")
        .Table(2, kStride),
    Row(0x089A, 2, kS16, kW, kNone, "engine.#.throttle", "", kRatio16384,
        "Write: throttle itself, forward to 16384, reverse to -4096")
        .Table(4, kStride),
    Row(0x08A0, 2, kS16, kR, kReadTime, "engine.#.fuel_flow", "lb/h", 1,
        "Fuel flow").Table(4, kStride),
    Row(0x08B2, 2, kS16, kRW, kCallbackG, "engine.#.carburettor_heat", "", 1,
        "Carburettor heat").Table(4, kStride),
    Row(0x08B8, 2, kS16, kR, kReadTime, "engine.#.oil_temperature", "C",
        1.0 / 117.02857, "Oil temperature (converted from Fahrenheit for an "
        "aircraft that keeps it so)").Table(4, kStride),
    Row(0x08BA, 2, kS16, kR, kReadTime, "engine.#.oil_pressure", "psi",
        1.0 / 297.891, "Oil pressure").Table(4, kStride),
    Row(0x08BC, 2, kS16, kR, kReadTime, "engine.#.epr", "", 1.0 / 10240,
        "Engine pressure ratio").Table(4, kStride),
    Row(0x08BE, 2, kS16, kR, kReadTime, "engine.#.egt", "C", 1.0 / 19.051,
        "Exhaust gas temperature (converted from Fahrenheit for an aircraft "
        "that keeps it so)").Table(4, kStride),
    Row(0x08C0, 2, kS16, kR, kCallbackA, "engine.#.manifold_pressure", "inHg",
        1.0 / 1024, "Manifold pressure").Table(4, kStride),
    Row(0x08D0, 4, kS32, kR, kCallbackI, "engine.#.oil_quantity", "",
        kRatio16384, "Oil quantity, 0 to 1").Table(2, kStride),
    Row(0x08D4, 4, kS32, kR, kCallbackA, "engine.#.vibration", "", 1.0 / 10000,
        "Vibration (the x737 only; 0 otherwise)").Table(2, kStride),
    Row(0x08D8, 4, kS32, kR, kCallbackD, "engine.#.hydraulic_pressure", "",
        1.0 / 12000, "Hydraulic pressure").Table(2, kStride),
    Row(0x08DC, 4, kS32, kR, kCallbackI, "engine.#.hydraulic_quantity", "",
        kRatio16384, "Hydraulic quantity, 0 to 1").Table(2, kStride),
    Row(0x0918, 8, kF64, kR, kReadTime, "engine.#.fuel_flow_f64", "lb/h", 1,
        "Fuel flow (double)").Table(4, kStride),
    Row(0x09C0, 2, kS16, kRW, kReadTime, "engine.#.mixture", "", kRatio16384,
        "Mixture lever, 0 to 16384").Table(2, kStride, 3),
    Row(0x09C2, 2, kU16, kRW, kReadTime, "engine.#.ignition", "", 1,
        "Ignition switch; written as the starter of engines 1 and 2")
        .Table(2, kStride, 3),
    Row(0x09C4, 2, kU16, kR, kReadTime, "engine.#.running", "", 1,
        "1 while the engine runs").Table(2, kStride, 3),
    Row(0x09C6, 2, kS16, kR, kReadTime, "engine.#.n2", "%", kN,
        "N2, 0 when not turning").Table(2, kStride, 3),
    Row(0x09C8, 2, kS16, kR, kReadTime, "engine.#.n1", "%", kN, "N1")
        .Table(2, kStride, 3),
    Row(0x0AEC, 2, kS16, kR, kAircraftLoad, "engine.count", "", 1,
        "Number of engines"),
    Row(0x0AF4, 2, kS16, kR, kAircraftLoad, "fuel.weight_per_gallon",
        "lb/gal", 1.0 / 256, "Fuel weight per US gallon"),
    Row(0x0B18, 8, kF64, kR, kCallbackH, "systems.vacuum", "inHg", 1,
        "Vacuum").Bias(-1),
    Row(0x0B74, 4, kU32, kRW, kCallbackG, "fuel.centre.level", "%",
        kLevelPercent, "Centre tank level"),
    Row(0x0B78, 4, kU32, kR, kAircraftLoad, "fuel.centre.capacity", "gal", 1,
        "Centre tank capacity"),
    Row(0x0B7C, 4, kU32, kRW, kCallbackG, "fuel.left_main.level", "%",
        kLevelPercent, "Left main tank level"),
    Row(0x0B80, 4, kU32, kR, kAircraftLoad, "fuel.left_main.capacity", "gal",
        1, "Left main tank capacity"),
    Row(0x0B88, 4, kU32, kR, kAircraftLoad, "fuel.left_aux.capacity", "gal", 1,
        "Left auxiliary tank capacity"),
    Row(0x0B90, 4, kU32, kR, kAircraftLoad, "fuel.left_tip.capacity", "gal", 1,
        "Left tip tank capacity"),
    Row(0x0B94, 4, kU32, kRW, kCallbackG, "fuel.right_main.level", "%",
        kLevelPercent, "Right main tank level"),
    Row(0x0B98, 4, kU32, kR, kAircraftLoad, "fuel.right_main.capacity", "gal",
        1, "Right main tank capacity"),
    Row(0x0BA0, 4, kU32, kR, kAircraftLoad, "fuel.right_aux.capacity", "gal",
        1, "Right auxiliary tank capacity"),
    Row(0x0BA8, 4, kU32, kR, kAircraftLoad, "fuel.right_tip.capacity", "gal",
        1, "Right tip tank capacity"),
    Row(0x2000, 8, kF64, kR, kCallbackA, "engine.#.n1_f64", "%", 1,
        "N1 (double)").Table(2, 0x100),
    Row(0x2008, 8, kF64, kR, kCallbackA, "engine.#.n2_f64", "%", 1,
        "N2 (double)").Table(2, 0x100),
    Row(0x2018, 8, kF64, kR, kCallbackA, "engine.#.n2_f64_copy", "%", 1,
        "N2 (double, second copy)").Table(2, 0x100),
    Row(0x2400, 8, kF64, kR, kCallbackA, "propeller.1.rpm", "rpm", 1,
        "Propeller speed, engine 1")
        .Reads(kFloatElement, 0x2400, kRpmPerRadPerSecond).Element(0),
    Row(0x2500, 8, kF64, kR, kCallbackA, "propeller.2.rpm", "rpm", 1,
        "Propeller speed, engine 2")
        .Reads(kFloatElement, 0x2500, kRpmPerRadPerSecond).Element(1),
    Row(0x3330, 2, kS16, kR, kCallbackA, "engine.#.throttle_lever_copy", "",
        kRatio16384, "Throttle lever (copy)").Table(4, 2),
    Row(0x3590, 4, kS32, kRW, kReadTime, "engine.#.mixture_whole", "", 1,
        "Mixture ratio in whole units; a write of non-zero sets full rich, 0 "
        "cut-off").Table(2, 4),
    Row(0x3728, 8, kF64, kR, kCallbackA, "engine.2.manifold_pressure_f64",
        "lb/ft2", 1, "Manifold pressure, engine 2 (double)"),
    Row(0x37E8, 8, kF64, kR, kCallbackA, "engine.1.manifold_pressure_f64",
        "lb/ft2", 1, "Manifold pressure, engine 1 (double)"),
    Row(0x6D8E, 1, kU8, kW, kNone, "engine.#.igniter", "", 1,
        "Write: igniter on (non-zero) or off").Table(2, 1),
};
// clang-format on

}  // namespace

CatalogueDomain EngineCatalogue() { return {"Engines and fuel", kEngines}; }

}  // namespace tarvos
