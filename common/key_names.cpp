#include "common/key_names.h"

#include <mbstring.h>

#include <algorithm>
#include <string>

namespace common {
namespace {

// A name with the NUL that _mbsicmp reads up to, which a view does not
// promise. A key's name (255 characters, two bytes each at most) fits on the
// stack, so that the walk's comparisons allocate nothing.
class Terminated {
 public:
  explicit Terminated(std::string_view name) {
    if (name.size() < sizeof local_) {
      std::copy(name.begin(), name.end(), local_);
      local_[name.size()] = '\0';
    } else {
      long_.assign(name.begin(), name.end());
    }
    bytes_ = reinterpret_cast<const unsigned char*>(name.size() < sizeof local_ ? local_ : long_.c_str());
  }
  Terminated(const Terminated&) = delete;
  Terminated& operator=(const Terminated&) = delete;
  const unsigned char* bytes() const { return bytes_; }

 private:
  char local_[512];
  std::string long_;
  const unsigned char* bytes_;
};

}  // namespace

bool SameKeyName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const Terminated left(a);
  const Terminated right(b);
  return _mbsicmp(left.bytes(), right.bytes()) == 0;
}

bool StartsWithKeyName(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && SameKeyName(name.substr(0, prefix.size()), prefix);
}

}  // namespace common
