// Edits of a manifest's bytes that leave every other byte as it was: code
// page, line ends, order, comments.
#pragma once

#include <string>

namespace yrn {

// Sets key in the first section named section (letter case ignored, as the
// station reads it): replaces the first such entry's line, or adds one after
// the section's last entry; a missing section is added at the end. New lines
// end as the file's first line does (CR LF when it has none).
std::string WithValue(const std::string& text, const std::string& section, const std::string& key,
                      const std::string& value);

}  // namespace yrn
