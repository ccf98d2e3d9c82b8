#ifndef XPLMDisplay_h
#define XPLMDisplay_h
/* Plugin-drawn windows. */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* XPLMWindowID;

enum {
  xplm_MouseDown = 1,
  xplm_MouseDrag = 2,
  xplm_MouseUp = 3
};
typedef int XPLMMouseStatus;

typedef void (*XPLMDrawWindow_f)(XPLMWindowID inWindowID, void* inRefcon);
typedef void (*XPLMHandleKey_f)(XPLMWindowID inWindowID, char inKey,
                                XPLMKeyFlags inFlags, char inVirtualKey,
                                void* inRefcon, int losingFocus);
typedef int (*XPLMHandleMouseClick_f)(XPLMWindowID inWindowID, int x, int y,
                                      XPLMMouseStatus inMouse, void* inRefcon);

XPLM_API XPLMWindowID XPLMCreateWindow(int inLeft, int inTop, int inRight,
                                       int inBottom, int inIsVisible,
                                       XPLMDrawWindow_f inDrawCallback,
                                       XPLMHandleKey_f inKeyCallback,
                                       XPLMHandleMouseClick_f inMouseCallback,
                                       void* inRefcon);
XPLM_API void XPLMDestroyWindow(XPLMWindowID inWindowID);
XPLM_API void XPLMGetScreenSize(int* outWidth, int* outHeight);
XPLM_API void XPLMGetWindowGeometry(XPLMWindowID inWindowID, int* outLeft,
                                    int* outTop, int* outRight,
                                    int* outBottom);
XPLM_API void XPLMSetWindowGeometry(XPLMWindowID inWindowID, int inLeft,
                                    int inTop, int inRight, int inBottom);
XPLM_API int XPLMGetWindowIsVisible(XPLMWindowID inWindowID);
XPLM_API void XPLMSetWindowIsVisible(XPLMWindowID inWindowID, int inIsVisible);

#ifdef __cplusplus
}
#endif
#endif
