#include "registry_fixture.h"

#include <windows.h>

namespace testing_support {

std::string FixturePath(const std::string& name) { return std::string(KORVANE_FIXTURES) + "/" + name; }

namespace {

std::vector<std::string> FixturePaths(const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const auto& name : names) paths.push_back(FixturePath(name));
  return paths;
}

}  // namespace

ScopedRegistry::ScopedRegistry(const std::vector<std::string>& fixtureNames)
    : ScopedRegistry(winhost::LoadRegistry(FixturePaths(fixtureNames))) {}

ScopedRegistry::ScopedRegistry(std::shared_ptr<winhost::Registry> registry) : registry_(std::move(registry)) {
  winhost::InstallRegistry(registry_);
}

ScopedRegistry::~ScopedRegistry() { winhost::InstallRegistry(std::make_shared<winhost::Registry>()); }

ScopedCodePage::ScopedCodePage(unsigned codePage) : previous_(winhost::AnsiCodePage()) {
  winhost::SetAnsiCodePage(codePage);
}

ScopedCodePage::~ScopedCodePage() { winhost::SetAnsiCodePage(previous_); }

CallCounter::CallCounter() : start_(winhost::ReadCounters()) {}

std::uint64_t CallCounter::count(winhost::Call call) const {
  const auto i = static_cast<std::size_t>(call);
  return winhost::ReadCounters().calls[i] - start_.calls[i];
}

std::uint64_t CallCounter::total() const { return winhost::ReadCounters().total() - start_.total(); }

long CallCounter::openedNotClosed() const { return winhost::ReadCounters().openKeys - start_.openKeys; }

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::vector<std::uint8_t> SzData(const std::string& ascii) {
  std::vector<std::uint8_t> bytes;
  for (const char c : ascii) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

}  // namespace testing_support
