#include "offsets/reference_tables.h"

// Placeholder: the tables exist but nothing is looked up yet.
namespace tarvos {

XPLMDataRef DataRefMemBlock[kOffsetSpaceSize];
XPLMDataRef VariablesAccessMemBlock[kOffsetSpaceSize];
XPLMCommandRef CommandBlock[kCommandSlots];
std::atomic<int32_t> X737PluginId{-1};
std::atomic<int32_t> X737Active{0};
std::atomic<int32_t> X737LookupPending{1};
std::atomic<int32_t> XPushbackPresent{0};
std::atomic<int32_t> XPushbackLookupPending{1};

void ClearReferenceTables() {}
int InitDataRefMemBlock() { return 1; }
void InitCommandBlock() {}
void RefreshLateBindings() {}

}  // namespace tarvos
