// Simulator commands, joystick buttons and key strokes. The host does not
// act on them; it records every call for the tests to check.
#include "XPLMUtilities.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Every command the plugin looks up.
const char* const kDefaultCommands[] = {
    "sim/magnetos/magnetos_off_1",       "sim/magnetos/magnetos_right_1",
    "sim/magnetos/magnetos_left_1",      "sim/magnetos/magnetos_both_1",
    "sim/starters/engage_starter_1",     "sim/magnetos/magnetos_off_2",
    "sim/magnetos/magnetos_right_2",     "sim/magnetos/magnetos_left_2",
    "sim/magnetos/magnetos_both_2",      "sim/starters/engage_starter_2",
    "sim/autopilot/back_course",         "sim/autopilot/approach",
    "sim/autopilot/autothrottle_toggle", "sim/autopilot/take_off_go_around",
    "sim/magnetos/magnetos_off_3",       "sim/magnetos/magnetos_right_3",
    "sim/magnetos/magnetos_left_3",      "sim/magnetos/magnetos_both_3",
    "sim/starters/engage_starter_3",     "sim/magnetos/magnetos_off_4",
    "sim/magnetos/magnetos_right_4",     "sim/magnetos/magnetos_left_4",
    "sim/magnetos/magnetos_both_4",      "sim/starters/engage_starter_4",
};

const Command* KnownCommand(Host::State& s, XPLMCommandRef handle)
    REQUIRES(s.mu) {
  if (handle == nullptr) return nullptr;
  auto* c = static_cast<const Command*>(handle);
  return s.command_handles.count(c) ? c : nullptr;
}

void RecordCommand(XPLMCommandRef handle, CommandPhase phase) {
  Host::State& s = HostState();
  simhost::HostLock lock(s.mu);
  if (const Command* c = KnownCommand(s, handle)) {
    s.command_records.push_back({c->name, phase});
    if (phase != CommandPhase::kEnd) {
      OnAutopilotCommand(s, c->name);
      OnEngineCommand(s, c->name);
    }
  }
}

void RecordInput(InputKind kind, int code) {
  Host::State& s = HostState();
  simhost::HostLock lock(s.mu);
  s.input_records.push_back({kind, code});
  if (kind == InputKind::kKeyStroke) {
    OnAutopilotKey(s, code);
    OnSimulationKey(s, code);
  }
  if (kind == InputKind::kButtonPress) OnControlButton(s, code);
  if (kind == InputKind::kButtonPress) s.held_buttons.insert(code);
  if (kind == InputKind::kButtonRelease) s.held_buttons.erase(code);
}

}  // namespace

Command& DefineCommandLocked(Host::State& s, const std::string& name)
    REQUIRES(s.mu) {
  auto it = s.commands_by_name.find(name);
  if (it != s.commands_by_name.end()) return *it->second;
  s.commands.push_back(std::make_unique<Command>());
  Command* c = s.commands.back().get();
  c->name = name;
  s.commands_by_name[name] = c;
  s.command_handles.insert(c);
  return *c;
}

void DefineDefaultCommands(Host::State& s) REQUIRES(s.mu) {
  for (const char* name : kDefaultCommands) DefineCommandLocked(s, name);
}

void Host::DefineCommand(const std::string& name) {
  simhost::HostLock lock(state_->mu);
  DefineCommandLocked(*state_, name);
}

std::vector<CommandRecord> Host::Commands() const {
  simhost::HostLock lock(state_->mu);
  return state_->command_records;
}

std::vector<CommandRecord> Host::TakeCommands() {
  simhost::HostLock lock(state_->mu);
  std::vector<CommandRecord> out;
  out.swap(state_->command_records);
  return out;
}

bool Host::ButtonHeld(int button) const {
  simhost::HostLock lock(state_->mu);
  return state_->held_buttons.count(button) != 0;
}

std::vector<InputRecord> Host::Inputs() const {
  simhost::HostLock lock(state_->mu);
  return state_->input_records;
}

std::vector<InputRecord> Host::TakeInputs() {
  simhost::HostLock lock(state_->mu);
  std::vector<InputRecord> out;
  out.swap(state_->input_records);
  return out;
}

}  // namespace simhost

XPLMCommandRef XPLMFindCommand(const char* inName) {
  if (inName == nullptr) return nullptr;
  auto& s = simhost::HostState();
  simhost::HostLock lock(s.mu);
  auto it = s.commands_by_name.find(inName);
  return it == s.commands_by_name.end() ? nullptr : it->second;
}

void XPLMCommandBegin(XPLMCommandRef inCommand) {
  simhost::RecordCommand(inCommand, simhost::CommandPhase::kBegin);
}

void XPLMCommandEnd(XPLMCommandRef inCommand) {
  simhost::RecordCommand(inCommand, simhost::CommandPhase::kEnd);
}

void XPLMCommandOnce(XPLMCommandRef inCommand) {
  simhost::RecordCommand(inCommand, simhost::CommandPhase::kOnce);
}

void XPLMCommandKeyStroke(XPLMCommandKeyID inKey) {
  simhost::RecordInput(simhost::InputKind::kKeyStroke, inKey);
}

void XPLMCommandButtonPress(XPLMCommandButtonID inButton) {
  simhost::RecordInput(simhost::InputKind::kButtonPress, inButton);
}

void XPLMCommandButtonRelease(XPLMCommandButtonID inButton) {
  simhost::RecordInput(simhost::InputKind::kButtonRelease, inButton);
}
