#ifndef XPLMDefs_h
#define XPLMDefs_h
/*
 * Basic definitions shared by every host API header: export macros, plugin
 * ids, key flags and the key codes used by the key-sniffing and keystroke
 * calls. Layout and values are those of the simulator's own plugin SDK so
 * that the same plugin source builds against either.
 */
#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PLUGIN_EXPORT __declspec(dllexport)
#define XPLM_IMPORT __declspec(dllimport)
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#define XPLM_IMPORT
#endif

#ifdef __cplusplus
#define PLUGIN_API extern "C" PLUGIN_EXPORT
#else
#define PLUGIN_API PLUGIN_EXPORT
#endif

#ifdef XPLM_INTERNAL
#define XPLM_API PLUGIN_EXPORT
#else
#define XPLM_API XPLM_IMPORT
#endif

typedef int XPLMPluginID;

#define XPLM_NO_PLUGIN_ID (-1)
#define XPLM_PLUGIN_XPLANE (0)
#define kXPLM_Version (210)

enum {
  xplm_ShiftFlag = 1,
  xplm_OptionAltFlag = 2,
  xplm_ControlFlag = 4,
  xplm_DownFlag = 8,
  xplm_UpFlag = 16
};
typedef int XPLMKeyFlags;

#define XPLM_KEY_RETURN 13
#define XPLM_KEY_ESCAPE 27
#define XPLM_KEY_TAB 9
#define XPLM_KEY_DELETE 8
#define XPLM_KEY_LEFT 28
#define XPLM_KEY_RIGHT 29
#define XPLM_KEY_UP 30
#define XPLM_KEY_DOWN 31
#define XPLM_KEY_0 48
#define XPLM_KEY_9 57
#define XPLM_KEY_DECIMAL 46

#ifdef __cplusplus
}
#endif
#endif
