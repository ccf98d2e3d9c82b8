#include "client/watch.h"

#include <algorithm>

#include "client/named_field.h"

namespace tarvos::client {
namespace {

std::string LabelOf(const WatchField& f) {
  if (!f.label.empty()) return f.label;
  return f.item.row != nullptr ? ItemFullName(f.item) : f.field.Name();
}

}  // namespace

std::string ParseWatchField(const std::string& text, WatchField* f) {
  if (text.find(':') != std::string::npos) return ParseField(text, &f->field);
  std::string error = ResolveName(text, &f->item);
  if (!error.empty()) return error;
  if (f->label.empty()) f->label = text;
  f->field.offset = f->item.offset;
  f->field.size = f->item.row->size;
  f->field.type = FieldType::kHex;
  return "";
}

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
    const WatchField& f = fields[i];
    if (f.raw) {
      Field hex = f.field;
      hex.type = FieldType::kHex;
      out += FormatValue(hex, batch.Data(i));
    } else if (f.item.row != nullptr) {
      out += FormatItemValue(f.item, batch.Data(i));
    } else {
      out += FormatValue(f.field, batch.Data(i));
    }
    out += '\n';
  }
  return out;
}

}  // namespace tarvos::client
