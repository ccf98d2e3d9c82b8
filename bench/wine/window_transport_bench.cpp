// Round trips through both Windows transports, run under Wine, against what
// the protocol itself costs on this system, measured in the same run and
// alternated request by request so that load swings affect both alike:
//   - the message window with a 10-record read batch, against a minimal
//     server that only does the protocol's own calls (the atom's name, open
//     the mapping, map and unmap the view, close it, answer 1), and against a
//     bare SendMessage to a trivial window on another thread (the floor);
//   - TCP with the same batch in a frame, against a bare Winsock echo.
//   - a Windows client's round trip through the bridge to the plugin,
//     against the sum of its direct local and direct TCP round trips.
// Prints the median of each and the ratios. The plugin runs enabled in the
// stand-in host in-process, with no frames stepped.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which they need.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/round_trips.h"
#include "bridge/bridge.h"
#include "client/connection.h"
#include "offsets/coding.h"
#include "simhost/host/host.h"
#include "tests/support/linked_plugin.h"
#include "transport/server_options.h"

namespace {

using Buf = std::vector<uint8_t>;
constexpr int kRounds = 2000;
constexpr char kMessageName[] = "FsasmLib:IPC";

Buf RecordArea() { return tarvos::bench::PanelRecordArea(); }
Buf RequestFrame() { return tarvos::bench::PanelRequestFrame(); }
using tarvos::bench::MedianMicros;
using tarvos::bench::TimeOne;

// --- Windows on threads of their own ----------------------------------------

UINT RequestMessage() { return RegisterWindowMessageA(kMessageName); }

LRESULT CALLBACK MinimalProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == RequestMessage()) {
    char name[261];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(wp), name, 260);
    name[n] = '\0';
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (mapping == nullptr) return 0;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (view != nullptr) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return 1;
  }
  return DefWindowProcA(w, m, wp, lp);
}

LRESULT CALLBACK TrivialProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == RequestMessage()) return 1;
  return DefWindowProcA(w, m, wp, lp);
}

// Starts a thread owning a hidden window of class `name`; returns once the
// window exists.
void StartWindowThread(const std::string& name, WNDPROC procedure) {
  std::atomic<bool> ready{false};
  std::thread([&ready, name, procedure] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name.c_str();
    RegisterClassA(&wc);
    CreateWindowExA(0, name.c_str(), name.c_str(), WS_POPUP, 0, 0, 10, 10,
                    nullptr, nullptr, wc.hInstance, nullptr);
    ready.store(true);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  }).detach();
  while (!ready.load()) Sleep(1);
}

// --- TCP -------------------------------------------------------------------

bool ReceiveAll(SOCKET s, uint8_t* p, size_t n) {
  while (n > 0) {
    int got = recv(s, reinterpret_cast<char*>(p), static_cast<int>(n), 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

void NoDelay(SOCKET s) {
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
             sizeof on);
}

// Sends every frame back unchanged.
uint16_t StartEcho() {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(listener, 4);
  int len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  std::thread([listener] {
    SOCKET c = accept(listener, nullptr, nullptr);
    NoDelay(c);
    uint8_t buf[32768];
    for (;;) {
      if (!ReceiveAll(c, buf, 4)) break;
      size_t n = tarvos::LoadU16(buf + 2) + 4;
      if (!ReceiveAll(c, buf + 4, n)) break;
      if (send(c, reinterpret_cast<char*>(buf), static_cast<int>(n + 4), 0) <=
          0) {
        break;
      }
    }
    closesocket(c);
  }).detach();
  return ntohs(a.sin_port);
}

SOCKET Connect(uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  NoDelay(s);
  return s;
}

bool Exchange(SOCKET s, const Buf& frame, Buf& reply) {
  send(s, reinterpret_cast<const char*>(frame.data()),
       static_cast<int>(frame.size()), 0);
  return ReceiveAll(s, reply.data(), reply.size());
}

}  // namespace

int main() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  const std::string tag = std::to_string(GetCurrentProcessId());
  const std::string endpoint = "tarvos-bench-" + tag;
  tarvos::bench::BootPluginWithServers(endpoint);
  StartWindowThread("tarvos-bench-minimal-" + tag, &MinimalProcedure);
  StartWindowThread("tarvos-bench-trivial-" + tag, &TrivialProcedure);
  HWND plugin = FindWindowA(endpoint.c_str(), nullptr);
  HWND minimal = FindWindowA(("tarvos-bench-minimal-" + tag).c_str(), nullptr);
  HWND trivial = FindWindowA(("tarvos-bench-trivial-" + tag).c_str(), nullptr);
  if (plugin == nullptr || minimal == nullptr || trivial == nullptr) {
    std::fprintf(stderr, "a window is missing\n");
    return 1;
  }

  // The client's side: one mapping and its atom, as a client keeps them.
  const std::string mapping_name = std::string(kMessageName) + ":" + tag + ":0";
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         0x8000, mapping_name.c_str());
  auto* view =
      static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  const ATOM atom = GlobalAddAtomA(mapping_name.c_str());
  const UINT message = RequestMessage();
  const Buf area = RecordArea();
  auto send_to = [&](HWND w) {
    std::memcpy(view, area.data(), area.size());
    DWORD_PTR result = 0;
    SendMessageTimeoutA(w, message, atom, 0, SMTO_BLOCK, 2000, &result);
    return result;
  };
  if (send_to(plugin) != 1 || send_to(minimal) != 1) {
    std::fprintf(stderr, "a window did not serve the batch\n");
    return 1;
  }
  std::vector<double> ours, bare, floor;
  for (int i = 0; i < kRounds; ++i) {
    ours.push_back(TimeOne([&] { send_to(plugin); }));
    bare.push_back(TimeOne([&] { send_to(minimal); }));
    floor.push_back(TimeOne([&] { send_to(trivial); }));
  }
  const double o = MedianMicros(ours), b = MedianMicros(bare),
               f = MedianMicros(floor);
  std::printf("message window, 10-record read batch, median of %d:\n", kRounds);
  std::printf(
      "  plugin %.1f us, minimal server %.1f us, bare SendMessage %.1f us\n", o,
      b, f);
  std::printf("  plugin / minimal = %.2f, minimal / bare SendMessage = %.2f\n",
              o / b, b / f);

  SOCKET echo = Connect(StartEcho());
  SOCKET tcp = Connect(tarvos::TcpServerBoundPort());
  if (echo == INVALID_SOCKET || tcp == INVALID_SOCKET) {
    std::fprintf(stderr, "cannot connect\n");
    return 1;
  }
  const Buf frame = RequestFrame();
  Buf reply(frame.size());
  std::vector<double> tcp_ours, tcp_bare;
  for (int i = 0; i < kRounds; ++i) {
    tcp_bare.push_back(TimeOne([&] { Exchange(echo, frame, reply); }));
    tcp_ours.push_back(TimeOne([&] { Exchange(tcp, frame, reply); }));
  }
  const double to = MedianMicros(tcp_ours), tb = MedianMicros(tcp_bare);
  std::printf("TCP, same batch in a frame, median of %d:\n", kRounds);
  std::printf("  plugin %.1f us, bare Winsock echo %.1f us, ratio %.2f\n", to,
              tb, to / tb);
  closesocket(echo);
  closesocket(tcp);

  tarvos::bridge::BridgeOptions options;
  options.port = tarvos::TcpServerBoundPort();
  options.endpoint = endpoint + "-bridge";
  tarvos::bridge::Bridge bridge(options, [](const std::string&) {});
  std::string error;
  if (!bridge.Start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  for (int i = 0; i < 500 && !bridge.Stats().connected; ++i) Sleep(10);
  auto local = tarvos::client::ConnectLocal(endpoint, &error);
  auto direct = tarvos::client::ConnectTcp("127.0.0.1", options.port, &error);
  auto bridged = tarvos::client::ConnectLocal(options.endpoint, &error);
  if (!local || !direct || !bridged) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  tarvos::client::RequestBatch batch;
  for (uint32_t offset : tarvos::bench::kPanelOffsets) {
    batch.AddRead(offset, 10);
  }
  std::vector<double> via_local, via_tcp, via_bridge;
  for (int i = 0; i < kRounds; ++i) {
    via_local.push_back(TimeOne([&] { local->Exchange(batch, &error); }));
    via_tcp.push_back(TimeOne([&] { direct->Exchange(batch, &error); }));
    via_bridge.push_back(TimeOne([&] { bridged->Exchange(batch, &error); }));
  }
  const double ml = MedianMicros(via_local), mt = MedianMicros(via_tcp),
               mb = MedianMicros(via_bridge);
  std::printf("bridge, the client library's batch, median of %d:\n", kRounds);
  std::printf(
      "  direct local %.1f us, direct TCP %.1f us, through the bridge "
      "%.1f us\n  bridge / (local + TCP) = %.2f\n",
      ml, mt, mb, mb / (ml + mt));
  bridged.reset();
  bridge.Stop();
  GlobalDeleteAtom(atom);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  simhost::Host::Get().DisablePlugin();
  simhost::Host::Get().StopPlugin();
  return 0;
}
