// Test helpers: install a registry built from .reg fixtures into the stand-in
// for the length of one test, and check that nothing was left open.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "winhost/system.h"

namespace testing_support {

std::string FixturePath(const std::string& name);

// Installs a registry loaded from fixture files (names relative to the
// fixtures folder) and restores an empty one when it goes out of scope.
class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::vector<std::string>& fixtureNames);
  explicit ScopedRegistry(std::shared_ptr<winhost::Registry> registry);
  ~ScopedRegistry();
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;
  winhost::Registry& registry() { return *registry_; }

 private:
  std::shared_ptr<winhost::Registry> registry_;
};

// Runs the stand-in with another ANSI code page for the length of a scope.
class ScopedCodePage {
 public:
  explicit ScopedCodePage(unsigned codePage);
  ~ScopedCodePage();
  ScopedCodePage(const ScopedCodePage&) = delete;
  ScopedCodePage& operator=(const ScopedCodePage&) = delete;

 private:
  unsigned previous_;
};

// Lets `successes` more task-allocator allocations succeed, and fails the
// rest until the end of the scope.
class ScopedTaskMemLimit {
 public:
  explicit ScopedTaskMemLimit(long successes) { winhost::FailTaskMemAllocAfter(successes); }
  ~ScopedTaskMemLimit() { winhost::FailTaskMemAllocAfter(-1); }
  ScopedTaskMemLimit(const ScopedTaskMemLimit&) = delete;
  ScopedTaskMemLimit& operator=(const ScopedTaskMemLimit&) = delete;
};

// Registry calls made since construction, by kind.
class CallCounter {
 public:
  CallCounter();
  std::uint64_t count(winhost::Call call) const;
  std::uint64_t total() const;
  // Opens minus closes since construction.
  long openedNotClosed() const;

 private:
  winhost::Counters start_;
};

// Helpers to build registries in code, for cases that .reg files cannot
// express readably (1024-byte data, 1023-character names).
std::u16string U16(const std::string& ascii);
std::vector<std::uint8_t> SzData(const std::string& ascii);  // REG_SZ bytes with terminator

}  // namespace testing_support
