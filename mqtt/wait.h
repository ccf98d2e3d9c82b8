// Waiting on the broker's socket and on a wake-up from another thread at
// once: the broker thread sleeps here until the socket can be read or
// written, something was queued for it, or the timeout passes.
#ifndef TARVOS_MQTT_WAIT_H_
#define TARVOS_MQTT_WAIT_H_

namespace tarvos::mqtt {

struct Readiness {
  bool readable = false;
  bool writable = false;
};

class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  // Wakes the waiter (any thread; never blocks).
  void Signal();

 private:
  friend Readiness WaitFor(int, bool, Wakeup&, int);
  void Drain();
  int read_fd_ = -1;
  int write_fd_ = -1;
};

// Waits up to `timeout_ms` for `socket` (none when negative) to be readable,
// or writable when `want_write`, or for `wakeup`'s signal (which it takes).
Readiness WaitFor(int socket, bool want_write, Wakeup& wakeup, int timeout_ms);

}  // namespace tarvos::mqtt

#endif  // TARVOS_MQTT_WAIT_H_
