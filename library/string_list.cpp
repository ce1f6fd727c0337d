#include "library/string_list.h"

namespace korvane {

StringList::StringList(std::initializer_list<std::string_view> texts) {
  for (const auto text : texts) push_back(text);
}

void StringList::push_back(std::string_view text) {
  starts_.push_back(pool_.size());
  pool_.append(text).push_back('\0');
}

std::string_view StringList::operator[](std::size_t i) const {
  const std::size_t end = (i + 1 < starts_.size() ? starts_[i + 1] : pool_.size()) - 1;
  return std::string_view(pool_.data() + starts_[i], end - starts_[i]);
}

}  // namespace korvane
