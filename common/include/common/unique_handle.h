// One owner for every kind of handle: the handle's type and the function
// that releases it make the type, so that a registry key, a task-allocator
// block or a kernel handle is released exactly once, on every path, with no
// hand-written owner class and no flag saying whether it is owned.
//
//   using UniqueKey = common::UniqueHandle<HKEY, CloseKey>;
//   UniqueKey key;
//   if (RegOpenKeyExA(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) ...
//
// An empty owner holds the type's value-initialised handle (null); it
// releases nothing. Owners move, never copy.
#pragma once

#include <utility>

namespace common {

template <typename Handle, void (*Release)(Handle) noexcept>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Handle{}; }

  // Gives the handle up without releasing it.
  Handle release() noexcept { return std::exchange(handle_, Handle{}); }

  // Releases the handle held, if any, and takes handle.
  void reset(Handle handle = Handle{}) noexcept {
    const Handle old = std::exchange(handle_, handle);
    if (old != Handle{}) Release(old);
  }

  // For a function that returns a new handle through an out-parameter:
  // releases the handle held and hands out the place for the new one.
  Handle* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

}  // namespace common
