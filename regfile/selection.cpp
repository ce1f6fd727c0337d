#include "regfile/selection.h"

#include "common/utf.h"

namespace regfile {
namespace {

constexpr std::u16string_view kSystem = u"SYSTEM";
constexpr std::u16string_view kCurrentControlSet = u"CurrentControlSet";
constexpr std::u16string_view kControlSetPrefix = u"ControlSet";
constexpr std::size_t kControlSetDigits = 3;

std::vector<std::u16string_view> Levels(std::u16string_view path) {
  std::vector<std::u16string_view> levels;
  if (path.empty()) return levels;
  for (;;) {
    const std::size_t end = path.find(u'\\');
    levels.push_back(path.substr(0, end));
    if (end == std::u16string_view::npos) return levels;
    path.remove_prefix(end + 1);
  }
}

}  // namespace

Selection::Selection(const std::vector<std::string_view>& trees, SameName sameName) : sameName_(sameName) {
  for (const auto tree : trees) {
    const std::u16string wide = common::AsciiToUtf16(tree);
    std::vector<std::u16string> levels;
    for (const auto level : Levels(wide)) levels.emplace_back(level);
    trees_.push_back(std::move(levels));
  }
}

bool Selection::IsAnyControlSet(const std::vector<std::u16string>& tree, std::size_t level) const {
  return level == 1 && tree.size() > 1 && Same(tree[0], kSystem) && Same(tree[1], kCurrentControlSet);
}

bool IsControlSetName(std::u16string_view name, SameName same) {
  if (same(name, kCurrentControlSet)) return true;
  if (name.size() != kControlSetPrefix.size() + kControlSetDigits ||
      !same(name.substr(0, kControlSetPrefix.size()), kControlSetPrefix)) {
    return false;
  }
  for (const char16_t c : name.substr(kControlSetPrefix.size())) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

Selection::Place Selection::PlaceOf(Root root, std::u16string_view path) const {
  if (KeepsEverything()) return Place::Inside;
  if (root != Root::LocalMachine) return Place::Outside;
  const auto levels = Levels(path);
  Place best = Place::Outside;
  for (const auto& tree : trees_) {
    std::size_t matched = 0;
    while (matched < levels.size() && matched < tree.size()) {
      const bool same = IsAnyControlSet(tree, matched) ? IsControlSetName(levels[matched])
                                                       : Same(levels[matched], tree[matched]);
      if (!same) break;
      ++matched;
    }
    if (matched == tree.size()) return Place::Inside;
    if (matched == levels.size()) best = Place::Ancestor;
  }
  return best;
}

}  // namespace regfile
