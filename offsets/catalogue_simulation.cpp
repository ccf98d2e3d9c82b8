// Catalogue rows of the write-only simulation controls: equipment
// failures; pushback control shares its row with the pushback state
// (requests/simulation_writes.cpp). The clock, pause and rate rows are with the
// clock, the ATC texts with the settings.
#include "offsets/catalogue_tables.h"

namespace tarvos {
namespace {

using namespace catalogue_rows;

// clang-format off
constexpr OffsetRow kSimulationControl[] = {
    Row(0x6DA4, 4, kBits, kW, kNone, "failures.bits", "", 1,
        "Write: bits 0 to 25 fail (set) or mend (clear) one equipment each; "
        "no effect on the simulator 12 and later, whose failure array is "
        "read-only"),
    Row(0x6DAA, 1, kU8, kW, kNone, "failures.all", "", 1,
        "Write: one value for all 564 failure slots (0 mends everything); "
        "no effect on the simulator 12 and later, whose failure array is "
        "read-only"),
};
// clang-format on

}  // namespace

CatalogueDomain SimulationControlCatalogue() {
  return {"Pushback and failures", kSimulationControl};
}

}  // namespace tarvos
