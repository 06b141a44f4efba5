#include "platform/inventory_provider.h"

#include <strings.h>

namespace platform {

void Cim_Instance::Set(const std::string& name, Cim_Value value) {
  for (auto& property : properties_)
    if (::strcasecmp(property.first.c_str(), name.c_str()) == 0) {
      property.second = std::move(value);
      return;
    }
  properties_.emplace_back(name, std::move(value));
}

void Cim_Instance::Set_Text(const std::string& name, const std::string& text) {
  Set(name, text.empty() ? Cim_Value::Null(kCimString) : Cim_Value::Text(text));
}

void Cim_Instance::Set_Number(const std::string& name, int type, std::int64_t value) {
  Set(name, Cim_Value::Scalar(type, value));
}

const Cim_Value* Cim_Instance::Find(const std::string& name) const {
  for (const auto& property : properties_)
    if (::strcasecmp(property.first.c_str(), name.c_str()) == 0) return &property.second;
  return nullptr;
}

}  // namespace platform
