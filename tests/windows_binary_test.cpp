// The Windows programs as a user runs them: tarvos-simhost.exe loads the
// built win.xpl, and tarvos-client.exe and raw window-message requests reach
// it through the "FS98MAIN" window of the other process.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/transport_harness.h"

namespace tarvos::testing {
namespace {

namespace fs = std::filesystem;

// The build folder as Windows sees it (ctest passes the host's path).
std::string BuildDir() {
  const char* dir = std::getenv("TARVOS_BUILD_DIR");
  std::string path = dir != nullptr ? dir : ".";
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A program started with CreateProcess; its standard output is collected
// when `capture` is set.
class Program {
 public:
  Program(const std::string& command_line, bool capture) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA start{};
    start.cb = sizeof start;
    if (capture) {
      if (!CreatePipe(&read_, &write_, &inherit, 0)) return;
      SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
      start.dwFlags = STARTF_USESTDHANDLES;
      start.hStdOutput = write_;
      start.hStdError = write_;
      start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    std::string line = command_line;
    started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                              nullptr, nullptr, &start, &info_) != 0;
    if (write_ != nullptr) {
      CloseHandle(write_);
      write_ = nullptr;
    }
  }
  ~Program() {
    if (started_ && Wait(0) == STILL_ACTIVE) {
      TerminateProcess(info_.hProcess, 99);
      Wait(10000);
    }
    if (started_) {
      CloseHandle(info_.hProcess);
      CloseHandle(info_.hThread);
    }
    if (read_ != nullptr) CloseHandle(read_);
  }
  bool started() const { return started_; }
  // Everything the program wrote, until it closed its output.
  std::string Output() {
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (read_ != nullptr &&
           ReadFile(read_, buf, sizeof buf, &got, nullptr) && got > 0) {
      out.append(buf, got);
    }
    return out;
  }
  // The exit code, or STILL_ACTIVE after `ms`.
  DWORD Wait(DWORD ms) {
    WaitForSingleObject(info_.hProcess, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION info_{};
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};

struct ClientRun {
  DWORD code;
  std::string output;
};

ClientRun RunClient(const std::string& args) {
  Program p(Quoted(BuildDir() + "\\client\\tarvos-client.exe") + " " + args,
            true);
  if (!p.started()) return {127, "could not start tarvos-client.exe"};
  std::string out = p.Output();
  return {p.Wait(30000), out};
}

// A raw request to the simulator's window from this process: a mapping
// holding `batch`, its atom, the registered message. The answer (-1 when
// the window did not answer) and the served bytes.
int RawRequest(const std::string& mapping_name, Buf* batch) {
  HANDLE mapping = nullptr;
  uint8_t* view = nullptr;
  if (!batch->empty()) {
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                 0, 0x8000, mapping_name.c_str());
    if (mapping == nullptr) return -1;
    view =
        static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    std::memcpy(view, batch->data(), batch->size());
  }
  const ATOM atom = GlobalAddAtomA(mapping_name.c_str());
  DWORD_PTR result = 0;
  const bool answered =
      SendMessageTimeoutA(FindWindowA("FS98MAIN", nullptr),
                          RegisterWindowMessageA("FsasmLib:IPC"), atom, 0,
                          SMTO_BLOCK, 5000, &result) != 0;
  GlobalDeleteAtom(atom);
  if (view != nullptr) {
    std::memcpy(batch->data(), view, batch->size());
    UnmapViewOfFile(view);
  }
  if (mapping != nullptr) CloseHandle(mapping);
  return answered ? static_cast<int>(result) : -1;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(WindowsBinaryTest, SimulatorServesTheWindowsClientThroughItsWindow) {
  const fs::path root = fs::temp_directory_path() /
                        ("tarvos-win-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(root);
  const uint16_t control =
      static_cast<uint16_t>(20000 + GetCurrentProcessId() % 20000);
  {
    Program sim(Quoted(BuildDir() + "\\simhost\\tarvos-simhost.exe") +
                    " --root " + Quoted(root.string()) +
                    " --duration 120 --control " + std::to_string(control),
                false);
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(WaitUntil(
        [] { return FindWindowA("FS98MAIN", nullptr) != nullptr; }, 60000))
        << "the plugin's window never appeared";

    ClientRun r =
        RunClient("--local read 0x3304:hex4 0x3308:hex4 0x6F03:text8");
    EXPECT_EQ(r.code, 0u) << r.output;
    EXPECT_NE(r.output.find("04000050"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("0800DEFA"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("1.0.0.0"), std::string::npos) << r.output;

    r = RunClient("--local write 0x66C0:u16=4660");
    EXPECT_EQ(r.code, 0u) << r.output;
    r = RunClient("--local read 0x66C0:u16");
    EXPECT_NE(r.output.find("4660"), std::string::npos) << r.output;
    // Pushed updates over Winsock, from the simulator's flying frames.
    r = RunClient("subscribe --count 3 attitude.heading plugin.version");
    EXPECT_EQ(r.code, 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 3)
        << r.output;
    EXPECT_NE(r.output.find("plugin.version 1.0.0.0"), std::string::npos)
        << r.output;
    r = RunClient("watch --count 2 --interval 100 0x3304:hex4");
    EXPECT_EQ(r.code, 0u) << r.output;
    EXPECT_NE(r.output.find("04000050"), std::string::npos) << r.output;
    r = RunClient("--local --endpoint tarvos-no-such-window read 0x3304:hex4");
    EXPECT_NE(r.code, 0u);
    EXPECT_NE(r.output.find("no simulator"), std::string::npos) << r.output;

    // An invalid id: the read before it is served, the id zeroed, and the
    // answer 0; an atom naming no mapping is answered 0.
    Buf bad = Cat(
        {ReadRecord(0x3304, 4), Buf{9, 0, 0, 0}, WriteRecord(0x66C0, {1, 2})});
    const std::string name =
        "FsasmLib:IPC:" + std::to_string(GetCurrentProcessId()) + ":bad";
    EXPECT_EQ(RawRequest(name, &bad), 0);
    EXPECT_EQ(Buf(bad.begin() + 16, bad.begin() + 24),
              (Buf{0x04, 0, 0, 0x50, 0, 0, 0, 0}));
    Buf none;
    EXPECT_EQ(RawRequest(name + ":missing", &none), 0);
    r = RunClient("--local read 0x66C0:u16");
    EXPECT_NE(r.output.find("4660"), std::string::npos) << r.output;

    RawTcp channel(control);
    ASSERT_TRUE(channel.connected());
    ASSERT_TRUE(channel.Send(Buf{'q', 'u', 'i', 't', '\n'}));
    EXPECT_EQ(sim.Wait(30000), 0u);
  }
  EXPECT_NE(FileText(root / "TARVOS.txt").find("TARVOS Disable !"),
            std::string::npos);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace tarvos::testing
