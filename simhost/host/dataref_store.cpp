// The typed dataref store: definition, test-side access and the record of
// the plugin's set calls.
#include <algorithm>

#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Accessor mask of a freshly defined dataref. Double datarefs are published
// with float accessors too, as the simulator publishes its own doubles
// (positions, local coordinates); every other kind answers only its own
// accessor, and a getter of another type reads 0.
int TypesOf(DataType kind) {
  switch (kind) {
    case DataType::kInt:
      return xplmType_Int;
    case DataType::kFloat:
      return xplmType_Float;
    case DataType::kDouble:
      return xplmType_Double | xplmType_Float;
    case DataType::kIntArray:
      return xplmType_IntArray;
    case DataType::kFloatArray:
      return xplmType_FloatArray;
    case DataType::kBytes:
      return xplmType_Data;
  }
  return xplmType_Unknown;
}

bool IsScalar(DataType kind) {
  return kind == DataType::kInt || kind == DataType::kFloat ||
         kind == DataType::kDouble;
}

// Stores a scalar with the precision of the dataref's kind.
void StoreScalar(Host::State& s, Dataref& d, double value) REQUIRES(s.mu) {
  switch (d.kind) {
    case DataType::kInt:
      d.scalar = static_cast<int>(value);
      break;
    case DataType::kFloat:
      d.scalar = static_cast<float>(value);
      break;
    default:
      d.scalar = value;
  }
  OnClockDatarefSet(s, d);
}

// Test-side lookup: a live dataref or null.
Dataref* Find(const Host::State& s, const std::string& name) REQUIRES(s.mu) {
  auto it = s.by_name.find(name);
  if (it == s.by_name.end() || !it->second->alive) return nullptr;
  return it->second;
}

}  // namespace

Dataref* KnownDataref(Host::State& s, XPLMDataRef handle) REQUIRES(s.mu) {
  if (handle == nullptr) return nullptr;
  auto* d = static_cast<Dataref*>(handle);
  return s.handles.count(d) ? d : nullptr;
}

Dataref* LiveDataref(Host::State& s, XPLMDataRef handle) REQUIRES(s.mu) {
  Dataref* d = KnownDataref(s, handle);
  return d != nullptr && d->alive ? d : nullptr;
}

Dataref& DefineDataref(Host::State& s, const std::string& name, DataType kind)
    REQUIRES(s.mu) {
  Dataref* d;
  auto it = s.by_name.find(name);
  if (it != s.by_name.end()) {
    d = it->second;
  } else {
    s.all.push_back(std::make_unique<Dataref>());
    d = s.all.back().get();
    d->name = name;
    s.by_name[name] = d;
    s.handles.insert(d);
  }
  d->kind = kind;
  d->types = TypesOf(kind);
  d->alive = true;
  d->writable = true;
  d->scalar = 0;
  d->ints.clear();
  d->floats.clear();
  d->bytes.clear();
  return *d;
}

void Host::DefineInt(const std::string& name, int value) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kInt).scalar = value;
}

void Host::DefineFloat(const std::string& name, float value) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kFloat).scalar = value;
}

void Host::DefineDouble(const std::string& name, double value) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kDouble).scalar = value;
}

void Host::DefineIntArray(const std::string& name, std::vector<int> values) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kIntArray).ints = std::move(values);
}

void Host::DefineFloatArray(const std::string& name,
                            std::vector<float> values) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kFloatArray).floats =
      std::move(values);
}

void Host::DefineBytes(const std::string& name, std::string bytes) {
  simhost::HostLock lock(state_->mu);
  DefineDataref(*state_, name, DataType::kBytes).bytes = std::move(bytes);
}

void Host::Undefine(const std::string& name) {
  simhost::HostLock lock(state_->mu);
  auto it = state_->by_name.find(name);
  if (it != state_->by_name.end()) it->second->alive = false;
}

bool Host::IsDefined(const std::string& name) const {
  simhost::HostLock lock(state_->mu);
  return Find(*state_, name) != nullptr;
}

void Host::SetWritable(const std::string& name, bool writable) {
  simhost::HostLock lock(state_->mu);
  if (Dataref* d = Find(*state_, name)) d->writable = writable;
}

bool Host::IsWritable(const std::string& name) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  return d != nullptr && d->writable;
}

std::vector<std::pair<std::string, DataType>> Host::Datarefs() const {
  simhost::HostLock lock(state_->mu);
  std::vector<std::pair<std::string, DataType>> out;
  for (const auto& [name, d] : state_->by_name) {
    if (d->alive) out.emplace_back(name, d->kind);
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool Host::DatarefKind(const std::string& name, DataType* kind) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  if (d == nullptr) return false;
  if (kind != nullptr) *kind = d->kind;
  return true;
}

int Host::ArraySize(const std::string& name) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  if (d == nullptr) return 0;
  switch (d->kind) {
    case DataType::kIntArray:
      return static_cast<int>(d->ints.size());
    case DataType::kFloatArray:
      return static_cast<int>(d->floats.size());
    case DataType::kBytes:
      return static_cast<int>(d->bytes.size());
    default:
      return 1;
  }
}

// Test-side getters read the value whatever the accessor: a test asks for
// the number, not for the host's type rules. Arrays give element 0.
int Host::GetInt(const std::string& name) const {
  return GetIntElement(name, 0);
}

float Host::GetFloat(const std::string& name) const {
  return GetFloatElement(name, 0);
}

double Host::GetDouble(const std::string& name) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  if (d == nullptr) return 0;
  if (IsScalar(d->kind)) return d->scalar;
  if (d->kind == DataType::kIntArray && !d->ints.empty()) return d->ints[0];
  if (d->kind == DataType::kFloatArray && !d->floats.empty()) {
    return d->floats[0];
  }
  return 0;
}

int Host::GetIntElement(const std::string& name, int index) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  if (d == nullptr || index < 0) return 0;
  if (IsScalar(d->kind)) return index == 0 ? static_cast<int>(d->scalar) : 0;
  if (d->kind == DataType::kIntArray &&
      static_cast<size_t>(index) < d->ints.size()) {
    return d->ints[index];
  }
  if (d->kind == DataType::kFloatArray &&
      static_cast<size_t>(index) < d->floats.size()) {
    return static_cast<int>(d->floats[index]);
  }
  return 0;
}

float Host::GetFloatElement(const std::string& name, int index) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  if (d == nullptr || index < 0) return 0;
  if (IsScalar(d->kind)) {
    return index == 0 ? static_cast<float>(d->scalar) : 0.0f;
  }
  if (d->kind == DataType::kFloatArray &&
      static_cast<size_t>(index) < d->floats.size()) {
    return d->floats[index];
  }
  if (d->kind == DataType::kIntArray &&
      static_cast<size_t>(index) < d->ints.size()) {
    return static_cast<float>(d->ints[index]);
  }
  return 0;
}

std::string Host::GetBytes(const std::string& name) const {
  simhost::HostLock lock(state_->mu);
  const Dataref* d = Find(*state_, name);
  return d != nullptr && d->kind == DataType::kBytes ? d->bytes : "";
}

void Host::SetInt(const std::string& name, int value) {
  SetIntElement(name, 0, value);
}

void Host::SetFloat(const std::string& name, float value) {
  SetFloatElement(name, 0, value);
}

void Host::SetDouble(const std::string& name, double value) {
  simhost::HostLock lock(state_->mu);
  Dataref* d = Find(*state_, name);
  if (d == nullptr) return;
  if (IsScalar(d->kind)) {
    StoreScalar(*state_, *d, value);
  } else if (d->kind == DataType::kIntArray && !d->ints.empty()) {
    d->ints[0] = static_cast<int>(value);
  } else if (d->kind == DataType::kFloatArray && !d->floats.empty()) {
    d->floats[0] = static_cast<float>(value);
  }
}

void Host::SetIntElement(const std::string& name, int index, int value) {
  simhost::HostLock lock(state_->mu);
  Dataref* d = Find(*state_, name);
  if (d == nullptr || index < 0) return;
  if (IsScalar(d->kind)) {
    if (index == 0) StoreScalar(*state_, *d, value);
  } else if (d->kind == DataType::kIntArray &&
             static_cast<size_t>(index) < d->ints.size()) {
    d->ints[index] = value;
  } else if (d->kind == DataType::kFloatArray &&
             static_cast<size_t>(index) < d->floats.size()) {
    d->floats[index] = static_cast<float>(value);
  }
}

void Host::SetFloatElement(const std::string& name, int index, float value) {
  simhost::HostLock lock(state_->mu);
  Dataref* d = Find(*state_, name);
  if (d == nullptr || index < 0) return;
  if (IsScalar(d->kind)) {
    if (index == 0) StoreScalar(*state_, *d, value);
  } else if (d->kind == DataType::kFloatArray &&
             static_cast<size_t>(index) < d->floats.size()) {
    d->floats[index] = value;
  } else if (d->kind == DataType::kIntArray &&
             static_cast<size_t>(index) < d->ints.size()) {
    d->ints[index] = static_cast<int>(value);
  }
}

// Replaces the leading bytes and zeroes the rest; grows the block when the
// test writes more than it holds.
void Host::SetBytes(const std::string& name, const std::string& bytes) {
  simhost::HostLock lock(state_->mu);
  Dataref* d = Find(*state_, name);
  if (d == nullptr || d->kind != DataType::kBytes) return;
  size_t size = std::max(d->bytes.size(), bytes.size());
  d->bytes = bytes;
  d->bytes.resize(size, '\0');
}

std::vector<SetRecord> Host::SetRecords() const {
  simhost::HostLock lock(state_->mu);
  return state_->set_records;
}

std::vector<SetRecord> Host::TakeSetRecords() {
  simhost::HostLock lock(state_->mu);
  std::vector<SetRecord> out;
  out.swap(state_->set_records);
  return out;
}

}  // namespace simhost
