// The device descriptions written into the stand-in's registry on the host.
#pragma once

#include <memory>

#include "device_model.h"
#include "winhost/registry.h"

namespace hardening {

constexpr auto kLM = winhost::Root::LocalMachine;

// Edits the stand-in's HKEY_LOCAL_MACHINE.
class StandInEditor : public RegistryEditor {
 public:
  explicit StandInEditor(winhost::Registry& registry) : registry_(registry) {}
  void SetValue(const std::u16string& key, std::u16string_view name, const Data& data) override;
  void CreateKey(const std::u16string& key) override;
  void DeleteKey(const std::u16string& key) override;
  void DeleteValue(const std::u16string& key, std::u16string_view name) override;

 private:
  winhost::Registry& registry_;
};

void AddDevice(winhost::Registry& registry, const Device& device);

// A registry with the default device, COM3 present, and an unrelated USB
// device and printer beside them.
std::shared_ptr<winhost::Registry> WorkingRegistry(const Device& device = Device());

}  // namespace hardening
