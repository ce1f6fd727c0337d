#include <stdexcept>

#include "winhost/codepage.h"
#include "winhost/system.h"

namespace winhost {

std::shared_ptr<Registry> LoadRegistry(const std::vector<std::string>& regFiles) {
  auto registry = std::make_shared<Registry>();
  for (const auto& file : regFiles) {
    regfile::Script script;
    if (const auto error = regfile::ParseFile(file, script, &FromAnsi)) {
      throw std::runtime_error(error->message());
    }
    registry->Apply(std::move(script));
  }
  return registry;
}

}  // namespace winhost
