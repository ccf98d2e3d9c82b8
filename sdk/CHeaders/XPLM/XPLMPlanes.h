#ifndef XPLMPlanes_h
#define XPLMPlanes_h
/* The user's aircraft (index 0) and the other aircraft the host flies. */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* outFileName holds at least 256 bytes, outPath at least 512. */
XPLM_API void XPLMCountAircraft(int* outTotalAircraft, int* outActiveAircraft,
                                XPLMPluginID* outController);
XPLM_API void XPLMGetNthAircraftModel(int inIndex, char* outFileName,
                                      char* outPath);

#ifdef __cplusplus
}
#endif
#endif
