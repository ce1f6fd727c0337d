#include "winhost/registry.h"

#include <windows.h>

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <mutex>

namespace winhost {
namespace {

constexpr std::size_t kRootCount = 5;

// Unicode upper-casing of one UTF-16 unit; surrogates stay as they are, as in
// the platform's per-unit case table.
char16_t UpperUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) return c;
  const auto upper = towupper_l(static_cast<wint_t>(c), utf8);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

bool LessByUpper(const KeyPtr& key, const std::u16string& upper) { return key->upper < upper; }

// Splits "a\b\c" into its levels; an empty path has none.
std::vector<std::u16string_view> Levels(std::u16string_view path) {
  std::vector<std::u16string_view> levels;
  while (!path.empty()) {
    const auto slash = path.find(u'\\');
    levels.push_back(path.substr(0, slash));
    if (slash == std::u16string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return levels;
}

Key* FindChild(const Key& parent, std::u16string_view name) {
  const auto upper = UpperCaseName(name);
  const auto it = std::lower_bound(parent.subkeys.begin(), parent.subkeys.end(), upper, LessByUpper);
  return (it != parent.subkeys.end() && (*it)->upper == upper) ? it->get() : nullptr;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && UpperUnit(a[i]) != UpperUnit(b[i])) return false;
  }
  return true;
}

void MarkDeleted(Key& key) {
  key.deleted = true;
  for (auto& child : key.subkeys) MarkDeleted(*child);
}

}  // namespace

std::u16string UpperCaseName(std::u16string_view name) {
  std::u16string upper(name);
  for (auto& c : upper) c = UpperUnit(c);
  return upper;
}

Registry::Registry() {
  for (std::size_t i = 0; i < kRootCount; ++i) roots_.push_back(std::make_shared<Key>());
}

KeyPtr Registry::RootKey(Root root) const { return roots_.at(static_cast<std::size_t>(root)); }

Key* Registry::FindLocked(Root root, std::u16string_view path) const {
  Key* key = roots_.at(static_cast<std::size_t>(root)).get();
  for (const auto level : Levels(path)) {
    key = FindChild(*key, level);
    if (key == nullptr) return nullptr;
  }
  return key;
}

Key* Registry::CreateLocked(Root root, std::u16string_view path) {
  Key* key = roots_.at(static_cast<std::size_t>(root)).get();
  for (const auto level : Levels(path)) {
    auto upper = UpperCaseName(level);
    auto& subkeys = key->subkeys;
    // Exports list keys in this very order, so the common case appends.
    auto it = (subkeys.empty() || subkeys.back()->upper < upper)
                  ? subkeys.end()
                  : std::lower_bound(subkeys.begin(), subkeys.end(), upper, LessByUpper);
    if (it == subkeys.end() || (*it)->upper != upper) {
      auto child = std::make_shared<Key>();
      child->name = std::u16string(level);
      child->upper = std::move(upper);
      it = subkeys.insert(it, std::move(child));
    }
    key = it->get();
  }
  return key;
}

void Registry::DeleteLocked(Root root, std::u16string_view path) {
  auto levels = Levels(path);
  if (levels.empty()) return;  // a root key cannot be deleted
  const auto last = levels.back();
  levels.pop_back();
  Key* parent = roots_.at(static_cast<std::size_t>(root)).get();
  for (const auto level : levels) {
    parent = FindChild(*parent, level);
    if (parent == nullptr) return;
  }
  const auto upper = UpperCaseName(last);
  auto& subkeys = parent->subkeys;
  const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), upper, LessByUpper);
  if (it == subkeys.end() || (*it)->upper != upper) return;
  MarkDeleted(**it);
  subkeys.erase(it);
}

void Registry::CreateKey(Root root, std::u16string_view path) {
  std::unique_lock lock(mutex_);
  CreateLocked(root, path);
}

void Registry::DeleteKey(Root root, std::u16string_view path) {
  std::unique_lock lock(mutex_);
  DeleteLocked(root, path);
}

void Registry::SetValue(Root root, std::u16string_view path, std::u16string_view name,
                        std::uint32_t type, std::vector<std::uint8_t> data) {
  std::unique_lock lock(mutex_);
  Key* key = CreateLocked(root, path);
  for (auto& value : key->values) {
    if (SameName(value.name, name)) {
      value.type = type;
      value.data = std::move(data);
      return;
    }
  }
  key->values.push_back(Value{std::u16string(name), type, std::move(data)});
}

void Registry::DeleteValue(Root root, std::u16string_view path, std::u16string_view name) {
  std::unique_lock lock(mutex_);
  Key* key = FindLocked(root, path);
  if (key == nullptr) return;
  auto& values = key->values;
  values.erase(std::remove_if(values.begin(), values.end(),
                              [&](const Value& v) { return SameName(v.name, name); }),
               values.end());
}

void Registry::ApplyLocked(regfile::KeyOp& op) {
  if (op.remove) {
    DeleteLocked(op.root, op.path);
    return;
  }
  Key* key = CreateLocked(op.root, op.path);
  for (auto& valueOp : op.values) {
    auto existing = std::find_if(key->values.begin(), key->values.end(),
                                 [&](const Value& v) { return SameName(v.name, valueOp.name); });
    if (valueOp.remove) {
      if (existing != key->values.end()) key->values.erase(existing);
    } else if (existing != key->values.end()) {
      existing->type = valueOp.type;
      existing->data = std::move(valueOp.data);
    } else {
      key->values.push_back(Value{std::move(valueOp.name), valueOp.type, std::move(valueOp.data)});
    }
  }
}

void Registry::Apply(regfile::Script script) {
  std::unique_lock lock(mutex_);
  for (auto& op : script.keys) {
    ApplyLocked(op);
    op = regfile::KeyOp{};  // what was not moved into the tree goes at once
  }
}

Status Registry::Open(const KeyPtr& from, std::u16string_view path, KeyPtr& out) const {
  std::shared_lock lock(mutex_);
  if (from->deleted) return ERROR_KEY_DELETED;
  if (!path.empty() && path.front() == u'\\') return ERROR_BAD_PATHNAME;
  // One trailing backslash is accepted; an empty level anywhere else is not.
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  KeyPtr key = from;
  for (const auto level : Levels(path)) {
    if (level.empty()) return ERROR_BAD_PATHNAME;
    const auto upper = UpperCaseName(level);
    const auto& subkeys = key->subkeys;
    const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), upper, LessByUpper);
    if (it == subkeys.end() || (*it)->upper != upper) return ERROR_FILE_NOT_FOUND;
    key = *it;
  }
  out = std::move(key);
  return ERROR_SUCCESS;
}

Status Registry::EnumKey(const KeyPtr& key, std::uint32_t index, std::u16string& name) const {
  std::shared_lock lock(mutex_);
  if (key->deleted) return ERROR_KEY_DELETED;
  if (index >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  name = key->subkeys[index]->name;
  return ERROR_SUCCESS;
}

Status Registry::EnumValue(const KeyPtr& key, std::uint32_t index, Value& out) const {
  std::shared_lock lock(mutex_);
  if (key->deleted) return ERROR_KEY_DELETED;
  if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  out = key->values[index];
  return ERROR_SUCCESS;
}

Status Registry::QueryValue(const KeyPtr& key, std::u16string_view name, Value& out) const {
  std::shared_lock lock(mutex_);
  if (key->deleted) return ERROR_KEY_DELETED;
  for (const auto& value : key->values) {
    if (SameName(value.name, name)) {
      out = value;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace winhost
