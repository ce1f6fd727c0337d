#include "device_registry.h"

namespace hardening {

void StandInEditor::SetValue(const std::u16string& key, std::u16string_view name, const Data& data) {
  registry_.SetValue(kLM, key, name, data.type, data.bytes);
}

void StandInEditor::CreateKey(const std::u16string& key) { registry_.CreateKey(kLM, key); }

void StandInEditor::DeleteKey(const std::u16string& key) { registry_.DeleteKey(kLM, key); }

void StandInEditor::DeleteValue(const std::u16string& key, std::u16string_view name) {
  registry_.DeleteValue(kLM, key, name);
}

void AddDevice(winhost::Registry& registry, const Device& device) {
  StandInEditor editor(registry);
  AddDevice(editor, device);
}

std::shared_ptr<winhost::Registry> WorkingRegistry(const Device& device) {
  auto registry = std::make_shared<winhost::Registry>();
  StandInEditor editor(*registry);
  AddWorkingRegistry(editor, device);
  return registry;
}

}  // namespace hardening
