// An ordered, growable list of narrow strings, owned by the list. The strings
// stand end to end in one buffer, each with its NUL, so that listing thousands
// of registry keys costs no allocation per name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class StringList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator(const StringList* list, std::size_t index) : list_(list), index_(index) {}
    std::string_view operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }
    bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

   private:
    const StringList* list_;
    std::size_t index_;
  };

  StringList() = default;
  StringList(std::initializer_list<std::string_view> texts);

  // Appends a copy of text (which must hold no NUL).
  void push_back(std::string_view text);

  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  std::string_view operator[](std::size_t i) const;
  // Entry i as a NUL-terminated string, valid until the next push_back.
  const char* c_str(std::size_t i) const { return pool_.data() + starts_[i]; }

  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(this, size()); }

  friend bool operator==(const StringList& a, const StringList& b) {
    return a.pool_ == b.pool_ && a.starts_ == b.starts_;
  }
  friend bool operator!=(const StringList& a, const StringList& b) { return !(a == b); }

 private:
  std::string pool_;                 // every entry followed by its NUL
  std::vector<std::size_t> starts_;  // where each entry begins in pool_
};

}  // namespace korvane
