#ifndef XPLMPlugin_h
#define XPLMPlugin_h
/* Other plugins and the messages the host sends to every plugin. */
#include "XPLMDefs.h"

#ifdef __cplusplus
extern "C" {
#endif

#define XPLM_MSG_PLANE_CRASHED 101
#define XPLM_MSG_PLANE_LOADED 102
#define XPLM_MSG_AIRPORT_LOADED 103
#define XPLM_MSG_SCENERY_LOADED 104
#define XPLM_MSG_AIRPLANE_COUNT_CHANGED 105
#define XPLM_MSG_PLANE_UNLOADED 106

XPLM_API XPLMPluginID XPLMGetMyID(void);
XPLM_API int XPLMCountPlugins(void);
XPLM_API XPLMPluginID XPLMFindPluginBySignature(const char* inSignature);
XPLM_API int XPLMIsPluginEnabled(XPLMPluginID inPluginID);
/* Enables a plugin (its XPluginEnable runs unless it is enabled already);
   1 when it is enabled afterwards. */
XPLM_API int XPLMEnablePlugin(XPLMPluginID inPluginID);
/* Disables a plugin (its XPluginDisable runs unless it is disabled). */
XPLM_API void XPLMDisablePlugin(XPLMPluginID inPluginID);

#ifdef __cplusplus
}
#endif
#endif
