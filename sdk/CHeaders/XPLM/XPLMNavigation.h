#ifndef XPLMNavigation_h
#define XPLMNavigation_h
/* The host's navaid database. */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  xplm_Nav_Unknown = 0,
  xplm_Nav_Airport = 1,
  xplm_Nav_NDB = 2,
  xplm_Nav_VOR = 4,
  xplm_Nav_ILS = 8,
  xplm_Nav_Localizer = 16,
  xplm_Nav_GlideSlope = 32,
  xplm_Nav_OuterMarker = 64,
  xplm_Nav_MiddleMarker = 128,
  xplm_Nav_InnerMarker = 256,
  xplm_Nav_Fix = 512,
  xplm_Nav_DME = 1024,
  xplm_Nav_LatLon = 2048
};
typedef int XPLMNavType;
typedef int XPLMNavRef;

#define XPLM_NAV_NOT_FOUND (-1)

/*
 * Finds the navaid of a type in the mask that matches every given criterion
 * (name and id fragments, frequency in the host's units) and is nearest to
 * the given position when one is given. Any criterion may be null.
 */
XPLM_API XPLMNavRef XPLMFindNavAid(const char* inNameFragment,
                                   const char* inIDFragment, float* inLat,
                                   float* inLon, int* inFrequency,
                                   XPLMNavType inType);
/* Every output may be null. outID holds 32 bytes, outName 256, outReg 1. */
XPLM_API void XPLMGetNavAidInfo(XPLMNavRef inRef, XPLMNavType* outType,
                                float* outLatitude, float* outLongitude,
                                float* outHeight, int* outFrequency,
                                float* outHeading, char* outID, char* outName,
                                char* outReg);

#ifdef __cplusplus
}
#endif
#endif
