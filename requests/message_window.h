// The on-screen message window: a client writes a line of text to 0x3380
// (128 bytes, at most 127 shown) and then a display time to 0x32FA; the
// text appears in a 20-pixel band across the top of the screen until the
// time runs out or another display time replaces it.
//
// Threads: the write of 0x32FA arrives on a transport thread, but the host
// creates, destroys and draws windows on its main thread only. The handler
// therefore only records the request (one atomic); a flight-loop callback
// run every frame applies it on the main thread: it destroys the window
// shown (if any) and creates the new one, so a message appears at the next
// frame. The window handle, the text copy and the display countdown belong
// to the main thread. When nothing is pending the per-frame check is a
// single relaxed atomic load.
#ifndef TARVOS_REQUESTS_MESSAGE_WINDOW_H_
#define TARVOS_REQUESTS_MESSAGE_WINDOW_H_

#include <cstdint>
#include <span>

#include "XPLMDisplay.h"
#include "requests/write_handlers.h"

namespace tarvos {

// Where the text lives and how many bytes of it are drawn at most.
inline constexpr uint32_t kMessageTextOffset = 0x3380;
inline constexpr uint32_t kMessageTextSize = 128;
inline constexpr uint32_t kMessageTimeOffset = 0x32FA;

// Timer runs a message is shown for, by the written display time: 0 and -1
// show it for 65535 runs, a positive time for that many, any other negative
// time until it is replaced (a negative count never runs out).
int32_t MessageRunsFor(int16_t display_time);

// The handler of 0x32FA.
std::span<const WriteHandler> MessageWindowWriteHandlers();

// XPluginEnable (main thread): nothing pending, registration of the
// per-frame callback. Disable: its removal, and the window shown is
// destroyed.
void RegisterMessageWindow();
void UnregisterMessageWindow();

// The per-frame callback; returns -1 (the next frame).
float MessageWindowFrame(float since_last_call, float since_last_loop,
                         int counter, void* refcon);

// One run of the one-second timer for the message (main thread): the
// display countdown is stepped and the window destroyed when it runs out.
void StepMessageWindowTime();

// For tests and the stand-in's checks (main thread): the window shown, or
// null, and its countdown (-1 idle).
XPLMWindowID MessageWindowHandle();
int32_t MessageWindowRunsLeft();

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_MESSAGE_WINDOW_H_
