// One raw request to a local endpoint, as a client program makes it: the
// batch in a named shared object of exactly its size, the name sent in the
// endpoint's own way (a Unix-socket message, or an atom with the window's
// registered message). For batches the client library would not build:
// invalid ids, sizes beyond its limits, names of no batch.
#ifndef TARVOS_TESTS_SUPPORT_RAW_LOCAL_H_
#define TARVOS_TESTS_SUPPORT_RAW_LOCAL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tarvos::testing {

// Serves `batch` through `endpoint` and copies the served bytes back; the
// answer (1 or 0), or -1 when the endpoint did not answer.
int RawLocalRequest(const std::string& endpoint, std::vector<uint8_t>* batch);
// A request naming a batch that does not exist.
int RawLocalRequestForNothing(const std::string& endpoint);

}  // namespace tarvos::testing

#endif  // TARVOS_TESTS_SUPPORT_RAW_LOCAL_H_
