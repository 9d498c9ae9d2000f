#include "NameValueList.h"

#include "text.h"

namespace yrn {

std::string NameValueList::Name(size_t i) const {
    const std::string& l = lines_[i];
    size_t eq = l.find('=');
    return eq == std::string::npos ? l : l.substr(0, eq);
}

std::string NameValueList::ValueAt(size_t i) const {
    const std::string& l = lines_[i];
    size_t eq = l.find('=');
    return eq == std::string::npos ? std::string() : l.substr(eq + 1);
}

int NameValueList::IndexOfName(const std::string& name) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].find('=') != std::string::npos && SameText(Name(i), name)) return static_cast<int>(i);
    return -1;
}

std::string NameValueList::Value(const std::string& name) const {
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueAt(static_cast<size_t>(i));
}

void NameValueList::SetValue(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) lines_.erase(lines_.begin() + i);
    } else if (i >= 0) {
        lines_[static_cast<size_t>(i)] = name + "=" + value;
    } else {
        lines_.push_back(name + "=" + value);
    }
}

}  // namespace yrn
