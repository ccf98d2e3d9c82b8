#ifndef XPLMGraphics_h
#define XPLMGraphics_h
/* Coordinate conversion and 2-D drawing inside window callbacks. */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
  xplmFont_Basic = 0,
  xplmFont_Proportional = 18
};
typedef int XPLMFontID;

XPLM_API void XPLMWorldToLocal(double inLatitude, double inLongitude,
                               double inAltitude, double* outX, double* outY,
                               double* outZ);
XPLM_API void XPLMLocalToWorld(double inX, double inY, double inZ,
                               double* outLatitude, double* outLongitude,
                               double* outAltitude);
XPLM_API void XPLMDrawTranslucentDarkBox(int inLeft, int inTop, int inRight,
                                         int inBottom);
XPLM_API void XPLMDrawString(float* inColorRGB, int inXOffset, int inYOffset,
                             const char* inChar, int* inWordWrapWidth,
                             XPLMFontID inFontID);

#ifdef __cplusplus
}
#endif
#endif
