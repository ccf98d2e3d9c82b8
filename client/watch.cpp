#include "client/watch.h"

#include <algorithm>

namespace tarvos::client {
namespace {

std::string LabelOf(const WatchField& f) {
  return f.label.empty() ? f.field.Name() : f.label;
}

}  // namespace

void AddWatchReads(const std::vector<WatchField>& fields, RequestBatch& batch) {
  for (const WatchField& f : fields)
    batch.AddRead(f.field.offset, f.field.size);
}

std::string RenderWatch(const std::vector<WatchField>& fields,
                        const RequestBatch& batch) {
  size_t width = 0;
  for (const WatchField& f : fields) width = std::max(width, LabelOf(f).size());
  std::string out;
  for (size_t i = 0; i < fields.size() && i < batch.ReadCount(); ++i) {
    std::string label = LabelOf(fields[i]);
    out += label;
    out.append(width - label.size() + 2, ' ');
    out += FormatValue(fields[i].field, batch.Data(i));
    out += '\n';
  }
  return out;
}

}  // namespace tarvos::client
