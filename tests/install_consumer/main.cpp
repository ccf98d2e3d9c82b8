// Uses every installed public header and one call from each part of the
// library (batches, the offset catalogue, names and a TCP connection), so
// that a header or library missing from the install fails this build.
#include <cstdio>
#include <string>

#include "client/batch.h"
#include "client/connection.h"
#include "client/field.h"
#include "client/named_field.h"
#include "client/traffic_view.h"
#include "client/watch.h"
#include "client/watch_preset.h"
#include "offsets/catalogue.h"

int main() {
  tarvos::CatalogueItem item;
  std::string error = tarvos::client::ResolveName("position.latitude", &item);
  if (!error.empty() || item.row == nullptr) {
    std::printf("name look-up failed: %s\n", error.c_str());
    return 1;
  }
  tarvos::client::RequestBatch batch;
  batch.AddRead(item.offset, 8);
  batch.AddWriteU16(0x0BC0, 1000);
  // Port 1 on the loopback has no server: the connection must fail politely.
  auto connection = tarvos::client::ConnectTcp("127.0.0.1", 1, &error);
  if (connection != nullptr || error.empty()) {
    std::printf("a connection to a closed port did not fail\n");
    return 1;
  }
  std::printf("installed client library: %s at 0x%04X, batch of %zu bytes\n",
              tarvos::client::ItemFullName(item).c_str(),
              static_cast<unsigned>(item.offset), batch.RecordAreaSize());
  return 0;
}
