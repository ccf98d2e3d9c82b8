// The TCP connection: request frames out, their replies back in order, and
// the subscription answers and pushed updates the server sends between
// them. The first byte tells them apart: 0 a rejected batch, 2 a reply, 4 an
// answer, 5 an update.
#include "client/session.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "client/named_field.h"
#include "offsets/coding.h"

namespace tarvos::client {
namespace {

constexpr uint16_t kTypeReply = 2;
constexpr uint16_t kTypeSubscribe = 3;
constexpr uint16_t kTypeAnswer = 4;
constexpr uint16_t kTypeUpdate = 5;
constexpr uint16_t kTypeUnsubscribe = 6;
constexpr size_t kUpdateHeader = 24;

bool TimedOut(const std::string& error) {
  return error.rfind("timed out", 0) == 0;
}

// Decodes an update's area; false when it does not hold what it says.
bool DecodeUpdate(const uint8_t* p, size_t len, Update* u) {
  if (len < kUpdateHeader) return false;
  u->id = LoadU32(p);
  u->seq = LoadU32(p + 4);
  u->frame = LoadU32(p + 8);
  u->time = LoadF64(p + 12);
  const uint16_t count = LoadU16(p + 20);
  u->records.clear();
  size_t at = kUpdateHeader;
  for (uint16_t i = 0; i < count; ++i) {
    if (len - at < 6) return false;
    UpdateRecord r;
    r.offset = LoadU32(p + at);
    const uint16_t size = LoadU16(p + at + 4);
    at += 6;
    if (len - at < size) return false;
    r.bytes.assign(p + at, p + at + size);
    at += size;
    u->records.push_back(std::move(r));
  }
  return at == len;
}

}  // namespace

std::string SubscribeStatusText(uint32_t status) {
  switch (status) {
    case 0:
      return "done";
    case 1:
      return "the server found the subscription malformed";
    case 2:
      return "too many subscriptions on this connection (at most 16)";
    case 3:
      return "a range lies outside the offset space or is empty";
    case 4:
      return "too many bytes (at most 16,384 in a subscription and 32,768 on "
             "a connection)";
    case 5:
      return "no subscription of that id";
    default:
      return "the server answered with status " + std::to_string(status);
  }
}

Session::~Session() { CloseSocket(s_); }

bool Session::ReadFrame(Frame* kind, int first_ms, std::string* error) {
  uint8_t head[4];
  if (!ReceiveExactly(s_, head, 1, first_ms, error)) return false;
  answered_ = true;
  if (head[0] == 0) {
    *kind = Frame::kFailed;
    frame_.assign(1, 0);
    return true;
  }
  if (!ReceiveExactly(s_, head + 1, 3, timeout_ms_, error)) return false;
  const uint16_t type = LoadU16(head);
  const size_t len = LoadU16(head + 2);
  frame_.assign(8 + len, 0);
  std::memcpy(frame_.data(), head, 4);
  if (!ReceiveExactly(s_, frame_.data() + 4, len + 4, timeout_ms_, error)) {
    return false;
  }
  if (type == kTypeReply) {
    *kind = Frame::kReply;
    return true;
  }
  if (LoadU16(frame_.data() + 4 + len) != len ||
      LoadU16(frame_.data() + 6 + len) != 0xFADE) {
    *error = "malformed frame from the server (wrong trailer)";
    return false;
  }
  if (type == kTypeAnswer && len == 8) {
    *kind = Frame::kAnswer;
    return true;
  }
  if (type == kTypeUpdate) {
    *kind = Frame::kUpdate;
    return true;
  }
  *error = "the server sent a frame of unknown type " + std::to_string(type);
  return false;
}

void Session::KeepUpdate() {
  Update u;
  if (DecodeUpdate(frame_.data() + 4, frame_.size() - 8, &u)) {
    queued_.push_back(std::move(u));
  }
}

bool Session::Exchange(RequestBatch& batch, std::string* error) {
  if (batch.RecordAreaSize() > kMaxRecordArea) {
    *error = "batch too large for one frame (at most " +
             std::to_string(kMaxRecordArea) + " bytes of records)";
    return false;
  }
  std::vector<uint8_t> frame = batch.Frame();
  if (!SendAll(s_, frame.data(), frame.size(), timeout_ms_, error)) {
    return Unanswered(error);
  }
  for (;;) {
    Frame kind;
    if (!ReadFrame(&kind, timeout_ms_, error)) return Unanswered(error);
    if (kind == Frame::kUpdate) {
      KeepUpdate();
      continue;
    }
    if (kind == Frame::kAnswer) continue;  // of no subscribe waiting here
    const std::string message =
        AcceptReplyFrame(batch, frame_.data(), frame_.size());
    if (message.empty()) return true;
    *error = message;
    return false;
  }
}

bool Session::WaitForAnswer(uint32_t id, uint32_t* status, int ms,
                            std::string* error) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    Frame kind;
    if (left.count() <= 0 ||
        !ReadFrame(&kind, static_cast<int>(left.count()), error)) {
      if (left.count() <= 0 || TimedOut(*error)) *error = kNoPushMessage;
      return false;
    }
    if (kind == Frame::kUpdate) {
      KeepUpdate();
    } else if (kind == Frame::kAnswer && LoadU32(frame_.data() + 4) == id) {
      *status = LoadU32(frame_.data() + 8);
      return true;
    } else if (kind != Frame::kAnswer) {
      *error = "the server sent a reply where an answer was due";
      return false;
    }
  }
}

bool Session::Subscribe(uint32_t id, const std::vector<Range>& ranges,
                        const SubscribeOptions& options, std::string* error) {
  if (id == 0 || ranges.empty() || ranges.size() > kMaxRangesPerSubscription) {
    *error = "a subscription needs an id other than 0 and 1 to 256 ranges";
    return false;
  }
  std::vector<uint8_t> area(12 + 8 * ranges.size());
  StoreU32(area.data(), id);
  StoreU16(area.data() + 4, options.every_ms);
  StoreU16(area.data() + 6, options.changes_only ? 1 : 0);
  StoreU16(area.data() + 8, static_cast<uint16_t>(ranges.size()));
  for (size_t i = 0; i < ranges.size(); ++i) {
    StoreU32(area.data() + 12 + 8 * i, ranges[i].offset);
    StoreU32(area.data() + 16 + 8 * i, ranges[i].size);
  }
  const std::vector<uint8_t> frame = FrameAround(kTypeSubscribe, area);
  if (!SendAll(s_, frame.data(), frame.size(), timeout_ms_, error)) {
    return Unanswered(error);
  }
  uint32_t status = 0;
  if (!WaitForAnswer(id, &status, std::min(timeout_ms_, kSubscribeAnswerMs),
                     error)) {
    return false;
  }
  if (status == 0) return true;
  *error = SubscribeStatusText(status);
  return false;
}

bool Session::Unsubscribe(uint32_t id, std::string* error) {
  std::vector<uint8_t> area(4);
  StoreU32(area.data(), id);
  const std::vector<uint8_t> frame = FrameAround(kTypeUnsubscribe, area);
  if (!SendAll(s_, frame.data(), frame.size(), timeout_ms_, error)) {
    return false;
  }
  uint32_t status = 0;
  if (!WaitForAnswer(id, &status, timeout_ms_, error)) return false;
  // Updates of it that came before the answer are of no use any more.
  std::erase_if(queued_, [id](const Update& u) { return u.id == id; });
  if (status == 0) return true;
  *error = SubscribeStatusText(status);
  return false;
}

bool Session::NextUpdate(Update* update, int timeout_ms, std::string* error) {
  error->clear();
  for (;;) {
    if (!queued_.empty()) {
      *update = std::move(queued_.front());
      queued_.pop_front();
      return true;
    }
    Frame kind;
    if (!ReadFrame(&kind, timeout_ms, error)) {
      if (TimedOut(*error)) error->clear();
      return false;
    }
    if (kind == Frame::kUpdate &&
        !DecodeUpdate(frame_.data() + 4, frame_.size() - 8, update)) {
      *error = "malformed update from the server";
      return false;
    }
    if (kind == Frame::kUpdate) return true;
    // Answers of nothing waited for are dropped; replies cannot come here.
  }
}

// The server accepts every connection and closes at once those it cannot
// serve: when it already has its eight clients, or when its settings do not
// admit this client's address. A connection closed before anything was
// ever answered on it is one of those.
bool Session::Unanswered(std::string* error) const {
  if (answered_ || TimedOut(*error)) return false;
  *error =
      "the server closed the connection without answering: it is full "
      "(8 clients connected already) or does not admit this client";
  return false;
}

std::unique_ptr<Session> ConnectSession(const std::string& host, uint16_t port,
                                        std::string* error, int timeout_ms) {
  NetSocket s = DialTcp(host, port, timeout_ms, error);
  if (s == kNoSocket) return nullptr;
  return std::make_unique<Session>(s, timeout_ms);
}

std::unique_ptr<Connection> ConnectTcp(const std::string& host, uint16_t port,
                                       std::string* error, int timeout_ms) {
  return ConnectSession(host, port, error, timeout_ms);
}

NamedSubscription::NamedSubscription(const std::vector<std::string>& names,
                                     std::string* error) {
  error->clear();
  for (const std::string& name : names) {
    CatalogueItem item;
    std::string message = ResolveName(name, &item);
    if (!message.empty()) {
      *error = message;
      return;
    }
    names_.push_back(ItemFullName(item));
    items_.push_back(item);
    bytes_.emplace_back(item.row->size, 0);
  }
}

std::vector<std::vector<Range>> SplitForSubscriptions(
    const std::vector<Range>& ranges) {
  std::vector<std::vector<Range>> parts;
  size_t bytes = 0;
  for (const Range& range : ranges) {
    if (parts.empty() || parts.back().size() == kMaxRangesPerSubscription ||
        bytes + range.size > kMaxBytesPerSubscription) {
      parts.emplace_back();
      bytes = 0;
    }
    parts.back().push_back(range);
    bytes += range.size;
  }
  return parts;
}

bool SubscribeRanges(Session& session, uint32_t first_id,
                     const std::vector<Range>& ranges,
                     const SubscribeOptions& options,
                     std::vector<uint32_t>* ids, std::string* error) {
  ids->clear();
  for (const std::vector<Range>& part : SplitForSubscriptions(ranges)) {
    const uint32_t id = first_id + static_cast<uint32_t>(ids->size());
    if (!session.Subscribe(id, part, options, error)) return false;
    ids->push_back(id);
  }
  return true;
}

bool NamedSubscription::Subscribe(Session& session, uint32_t first_id,
                                  const SubscribeOptions& options,
                                  std::string* error) {
  std::vector<Range> ranges;
  for (const CatalogueItem& item : items_) {
    ranges.push_back({item.offset, item.row->size});
  }
  return SubscribeRanges(session, first_id, ranges, options, &ids_, error);
}

std::vector<size_t> NamedSubscription::Apply(const Update& update) {
  std::vector<size_t> carried;
  if (std::find(ids_.begin(), ids_.end(), update.id) == ids_.end()) {
    return carried;
  }
  for (const UpdateRecord& r : update.records) {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].offset == r.offset && bytes_[i].size() == r.bytes.size()) {
        bytes_[i] = r.bytes;
        carried.push_back(i);
      }
    }
  }
  return carried;
}

std::string NamedSubscription::Text(size_t i) const {
  return FormatItemValue(items_[i], bytes_[i].data());
}

UpdateThread::UpdateThread(std::unique_ptr<Session> session,
                           std::function<void(const Update&)> on_update,
                           std::function<void(const std::string&)> on_end)
    : session_(std::move(session)) {
  thread_ = std::thread(
      [this, on_update = std::move(on_update), on_end = std::move(on_end)] {
        Update u;
        std::string error;
        while (!stop_.load()) {
          if (session_->NextUpdate(&u, 100, &error)) {
            on_update(u);
          } else if (!error.empty()) {
            if (on_end) on_end(error);
            return;
          }
        }
      });
}

UpdateThread::~UpdateThread() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

}  // namespace tarvos::client
