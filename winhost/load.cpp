#include <stdexcept>

#include "winhost/codepage.h"
#include "winhost/system.h"

namespace winhost {

std::shared_ptr<Registry> LoadRegistry(const std::vector<std::string>& regFiles) {
  auto registry = std::make_shared<Registry>();
  for (const auto& file : regFiles) {
    regfile::FileRead read = regfile::ParseFile(file, &FromAnsi);
    if (read.error) throw std::runtime_error(read.error->message());
    registry->Apply(std::move(read.script));
  }
  return registry;
}

}  // namespace winhost
