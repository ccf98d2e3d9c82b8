#ifndef XPLMUtilities_h
#define XPLMUtilities_h
/*
 * Paths, versions, commands, simulated key strokes and joystick buttons.
 * Key and button ids are the host's numeric codes; the plugin passes them as
 * plain integers.
 */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int XPLMCommandKeyID;
typedef int XPLMCommandButtonID;
typedef int XPLMHostApplicationID;

enum {
  xplm_Host_Unknown = 0,
  xplm_Host_XPlane = 1
};

enum { xplm_key_pause = 0 };
enum { xplm_joy_nothing = 0 };

typedef void* XPLMCommandRef;

enum {
  xplm_CommandBegin = 0,
  xplm_CommandContinue = 1,
  xplm_CommandEnd = 2
};
typedef int XPLMCommandPhase;

typedef int (*XPLMCommandCallback_f)(XPLMCommandRef inCommand,
                                     XPLMCommandPhase inPhase, void* inRefcon);

XPLM_API void XPLMGetSystemPath(char* outSystemPath);
XPLM_API void XPLMGetPrefsPath(char* outPrefsPath);
XPLM_API const char* XPLMGetDirectorySeparator(void);
XPLM_API void XPLMGetVersions(int* outXPlaneVersion, int* outXPLMVersion,
                              XPLMHostApplicationID* outHostID);
XPLM_API void XPLMDebugString(const char* inString);

XPLM_API void XPLMCommandKeyStroke(XPLMCommandKeyID inKey);
XPLM_API void XPLMCommandButtonPress(XPLMCommandButtonID inButton);
XPLM_API void XPLMCommandButtonRelease(XPLMCommandButtonID inButton);

XPLM_API XPLMCommandRef XPLMFindCommand(const char* inName);
XPLM_API void XPLMCommandBegin(XPLMCommandRef inCommand);
XPLM_API void XPLMCommandEnd(XPLMCommandRef inCommand);
XPLM_API void XPLMCommandOnce(XPLMCommandRef inCommand);

#ifdef __cplusplus
}
#endif
#endif
