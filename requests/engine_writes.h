// The engine, fuel and weight write handlers keep one piece of state: the
// starter buttons a client pressed and has not released. A button left
// pressed keeps the starter running, so Disable releases them.
#ifndef TARVOS_REQUESTS_ENGINE_WRITES_H_
#define TARVOS_REQUESTS_ENGINE_WRITES_H_

namespace tarvos {

// Releases every starter button a client write pressed and no later write
// released. Main thread, after the transports have stopped (Disable).
void ReleaseHeldStarterButtons();

}  // namespace tarvos

#endif  // TARVOS_REQUESTS_ENGINE_WRITES_H_
