// The dataref calls of the host API.
//
// Rules kept by every call: a null, unknown or undefined handle reads 0 and
// ignores writes; a getter or setter of a type the dataref does not publish
// reads 0 and ignores the write (as the simulator does); array and byte
// calls never touch memory outside the dataref, whatever offset and count
// they are given. Every set call on a handle the host gave out is recorded,
// applied or not.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "XPLMDataAccess.h"
#include "simhost/host/faults.h"
#include "simhost/host/host_state.h"

namespace simhost {
namespace {

// Elements of one array set call kept in its record; the call itself may
// name more, only the part inside the array is applied.
constexpr int kMaxRecordedElements = 4096;

float Faulty(const std::string& name, float value) {
  return FaultyFloat(name, value);
}
int Faulty(const std::string& name, int value) {
  return FaultyInt(name, value);
}

bool Accepts(const Dataref* d, int type) {
  return d != nullptr && (d->types & type) != 0;
}

// The simulator ignores a set call on a reference it does not let plugins
// write; a plugin should have asked first (XPLMCanWriteDataRef), so the
// call is a host error too.
bool RefusedAsReadOnly(Host::State& s, const Dataref* d, const char* setter)
    REQUIRES(s.mu) {
  if (!d->alive || d->writable) return false;
  RecordHostError(s,
                  std::string(setter) + " on the read-only dataref " + d->name);
  return true;
}

bool IsPositionLocal(const std::string& name) {
  return name == "sim/flightmodel/position/local_x" ||
         name == "sim/flightmodel/position/local_y" ||
         name == "sim/flightmodel/position/local_z";
}

// Records and applies one scalar set call.
void SetScalar(XPLMDataRef handle, DataType setter, int type, double value,
               const char* function) {
  DelayDatarefCall();
  Host::State& s = HostState();
  simhost::HostLock lock(s.mu);
  Dataref* d = KnownDataref(s, handle);
  if (d == nullptr) return;
  RefusedAsReadOnly(s, d, function);
  SetRecord record{d->name, setter, 0, {value}, {}, false};
  if (d->alive && d->writable && Accepts(d, type)) {
    switch (d->kind) {
      case DataType::kInt:
        d->scalar = IsAutopilotStateWord(d->name)
                        ? AutopilotStateAfterWrite(static_cast<int>(d->scalar),
                                                   static_cast<int>(value))
                        : static_cast<int>(value);
        break;
      case DataType::kFloat:
        d->scalar = static_cast<float>(value);
        break;
      default:
        d->scalar = value;
    }
    record.applied = true;
    OnClockDatarefSet(s, *d);
    OnX737PanelWrite(s, *d);
  }
  bool moved = record.applied && IsPositionLocal(d->name);
  s.set_records.push_back(std::move(record));
  if (moved) SyncWorldFromLocal(s);
}

// Number of elements from `offset` that fit into an array of `size`, capped
// at `count`; 0 for negative offsets or counts.
int Span(size_t size, int offset, int count) {
  if (offset < 0 || count <= 0 || static_cast<size_t>(offset) >= size) {
    return 0;
  }
  return static_cast<int>(
      std::min<size_t>(static_cast<size_t>(count), size - offset));
}

// Runs `read` on the live dataref behind `handle` (null when there is none)
// under the host's mutex, then the read hook, if one is set, without it.
template <typename Read>
auto Get(XPLMDataRef handle, Read read) {
  DelayDatarefCall();
  Host::State& s = HostState();
  std::function<void(const std::string&)> hook;
  std::string name;
  decltype(read(static_cast<const Dataref*>(nullptr))) result;
  {
    simhost::HostLock lock(s.mu);
    const Dataref* d = LiveDataref(s, handle);
    result = read(d);
    if (d != nullptr && s.read_hook) {
      hook = s.read_hook;
      name = d->name;
    }
  }
  if (hook) hook(name);
  return result;
}

template <typename T>
int GetArray(XPLMDataRef handle, int type, std::vector<T> Dataref::*member,
             T* out, int offset, int max) {
  return Get(handle, [&](const Dataref* d) {
    if (!Accepts(d, type)) return 0;
    const std::vector<T>& values = d->*member;
    if (out == nullptr) return static_cast<int>(values.size());
    int n = Span(values.size(), offset, max);
    std::copy_n(values.begin() + (n > 0 ? offset : 0), n, out);
    for (int i = 0; i < n; ++i) out[i] = Faulty(d->name, out[i]);
    return n;
  });
}

template <typename T>
void SetArray(XPLMDataRef handle, DataType setter, int type,
              std::vector<T> Dataref::*member, const T* in, int offset,
              int count, const char* function) {
  DelayDatarefCall();
  Host::State& s = HostState();
  simhost::HostLock lock(s.mu);
  Dataref* d = KnownDataref(s, handle);
  if (d == nullptr) return;
  RefusedAsReadOnly(s, d, function);
  SetRecord record{d->name, setter, offset, {}, {}, false};
  if (in != nullptr && count > 0) {
    int recorded = std::min(count, kMaxRecordedElements);
    record.values.assign(in, in + recorded);
  }
  if (in != nullptr && d->alive && d->writable && Accepts(d, type)) {
    std::vector<T>& values = d->*member;
    int n = Span(values.size(), offset, count);
    std::copy_n(in, n, values.begin() + (n > 0 ? offset : 0));
    record.applied = n > 0;
  }
  s.set_records.push_back(std::move(record));
}

}  // namespace
}  // namespace simhost

using simhost::Dataref;
using simhost::DataType;
using simhost::HostState;

XPLMDataRef XPLMFindDataRef(const char* inDataRefName) {
  if (inDataRefName == nullptr) return nullptr;
  auto& s = HostState();
  simhost::HostLock lock(s.mu);
  auto it = s.by_name.find(inDataRefName);
  if (it == s.by_name.end() || !it->second->alive) return nullptr;
  return it->second;
}

int XPLMCanWriteDataRef(XPLMDataRef inDataRef) {
  auto& s = HostState();
  simhost::HostLock lock(s.mu);
  const Dataref* d = LiveDataref(s, inDataRef);
  return d != nullptr && d->writable ? 1 : 0;
}

XPLMDataTypeID XPLMGetDataRefTypes(XPLMDataRef inDataRef) {
  auto& s = HostState();
  simhost::HostLock lock(s.mu);
  const Dataref* d = LiveDataref(s, inDataRef);
  return d != nullptr ? d->types : xplmType_Unknown;
}

int XPLMGetDatai(XPLMDataRef inDataRef) {
  return simhost::Get(inDataRef, [](const Dataref* d) {
    return simhost::Accepts(d, xplmType_Int)
               ? simhost::FaultyInt(d->name, static_cast<int>(d->scalar))
               : 0;
  });
}

void XPLMSetDatai(XPLMDataRef inDataRef, int inValue) {
  simhost::SetScalar(inDataRef, DataType::kInt, xplmType_Int, inValue,
                     "XPLMSetDatai");
}

float XPLMGetDataf(XPLMDataRef inDataRef) {
  return simhost::Get(inDataRef, [](const Dataref* d) {
    return simhost::Accepts(d, xplmType_Float)
               ? simhost::FaultyFloat(d->name, static_cast<float>(d->scalar))
               : 0.0f;
  });
}

void XPLMSetDataf(XPLMDataRef inDataRef, float inValue) {
  simhost::SetScalar(inDataRef, DataType::kFloat, xplmType_Float, inValue,
                     "XPLMSetDataf");
}

double XPLMGetDatad(XPLMDataRef inDataRef) {
  return simhost::Get(inDataRef, [](const Dataref* d) {
    return simhost::Accepts(d, xplmType_Double)
               ? simhost::FaultyDouble(d->name, d->scalar)
               : 0.0;
  });
}

void XPLMSetDatad(XPLMDataRef inDataRef, double inValue) {
  simhost::SetScalar(inDataRef, DataType::kDouble, xplmType_Double, inValue,
                     "XPLMSetDatad");
}

int XPLMGetDatavi(XPLMDataRef inDataRef, int* outValues, int inOffset,
                  int inMax) {
  return simhost::GetArray<int>(inDataRef, xplmType_IntArray, &Dataref::ints,
                                outValues, inOffset, inMax);
}

void XPLMSetDatavi(XPLMDataRef inDataRef, int* inValues, int inoffset,
                   int inCount) {
  simhost::SetArray<int>(inDataRef, DataType::kIntArray, xplmType_IntArray,
                         &Dataref::ints, inValues, inoffset, inCount,
                         "XPLMSetDatavi");
}

int XPLMGetDatavf(XPLMDataRef inDataRef, float* outValues, int inOffset,
                  int inMax) {
  return simhost::GetArray<float>(inDataRef, xplmType_FloatArray,
                                  &Dataref::floats, outValues, inOffset, inMax);
}

void XPLMSetDatavf(XPLMDataRef inDataRef, float* inValues, int inoffset,
                   int inCount) {
  simhost::SetArray<float>(inDataRef, DataType::kFloatArray,
                           xplmType_FloatArray, &Dataref::floats, inValues,
                           inoffset, inCount, "XPLMSetDatavf");
}

int XPLMGetDatab(XPLMDataRef inDataRef, void* outValue, int inOffset,
                 int inMaxBytes) {
  return simhost::Get(inDataRef, [&](const Dataref* d) {
    if (!simhost::Accepts(d, xplmType_Data)) return 0;
    if (outValue == nullptr) return static_cast<int>(d->bytes.size());
    int n = simhost::Span(d->bytes.size(), inOffset, inMaxBytes);
    if (n > 0) std::memcpy(outValue, d->bytes.data() + inOffset, n);
    return n;
  });
}

void XPLMSetDatab(XPLMDataRef inDataRef, void* inValue, int inOffset,
                  int inLength) {
  simhost::DelayDatarefCall();
  auto& s = HostState();
  simhost::HostLock lock(s.mu);
  Dataref* d = simhost::KnownDataref(s, inDataRef);
  if (d == nullptr) return;
  simhost::RefusedAsReadOnly(s, d, "XPLMSetDatab");
  simhost::SetRecord record{d->name, DataType::kBytes, inOffset, {}, {}, false};
  if (inValue != nullptr && inLength > 0) {
    record.bytes.assign(static_cast<const char*>(inValue),
                        std::min(inLength, simhost::kMaxRecordedElements));
  }
  if (inValue != nullptr && d->alive && d->writable &&
      simhost::Accepts(d, xplmType_Data)) {
    int n = simhost::Span(d->bytes.size(), inOffset, inLength);
    if (n > 0) std::memcpy(d->bytes.data() + inOffset, inValue, n);
    record.applied = n > 0;
  }
  s.set_records.push_back(std::move(record));
}
