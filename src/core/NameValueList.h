// An ordered list of name=value lines. Lookup ignores letter case and takes
// the first match; SetValue replaces in place, appends otherwise, and an
// empty value removes the entry.
#pragma once

#include <string>
#include <vector>

namespace yrn {

class NameValueList {
public:
    void Add(const std::string& line) { lines_.push_back(line); }
    size_t Count() const { return lines_.size(); }
    const std::string& Line(size_t i) const { return lines_[i]; }
    std::string Name(size_t i) const;                   // text before the first "="
    std::string ValueAt(size_t i) const;                // text after the first "="
    std::string Value(const std::string& name) const;   // empty when absent
    void SetValue(const std::string& name, const std::string& value);

private:
    int IndexOfName(const std::string& name) const;
    std::vector<std::string> lines_;
};

}  // namespace yrn
