// Catalogue names chosen by patterns, as programs take them on their
// command line: "attitude.*,radio.nav1.*". A pattern is a full item name
// ("engine.2.egt") or a glob in which '*' stands for any run of
// characters, dots included ("engine.*.egt", "*heading*").
#ifndef TARVOS_CLIENT_NAME_GLOB_H_
#define TARVOS_CLIENT_NAME_GLOB_H_

#include <string>
#include <string_view>
#include <vector>

#include "offsets/catalogue.h"

namespace tarvos::client {

// Whether `text` as a whole matches `pattern` ('*' any run, else itself).
bool GlobMatches(std::string_view pattern, std::string_view text);

// Splits "a,b , c" at commas into its patterns, blanks trimmed and empty
// ones dropped.
std::vector<std::string> SplitPatterns(const std::string& list);

// Every catalogue item whose full name matches one of `patterns`, each
// once, in catalogue order. A pattern that matches nothing is an error
// (`error` says which); then the result is empty.
std::vector<CatalogueItem> ItemsMatching(
    const std::vector<std::string>& patterns, std::string* error);

}  // namespace tarvos::client

#endif  // TARVOS_CLIENT_NAME_GLOB_H_
