#include "registry_store.h"

#include <cstring>

namespace qel {

std::string InvalidDataTypeText(std::string_view name) {
  return "Invalid data type for '" + std::string(name) + "'";
}
std::string FailedToSetText(std::string_view name) {
  return "Failed to set data for '" + std::string(name) + "'";
}

std::int32_t RegistryStore::ReadInteger(std::string_view name) const {
  const auto v = GetValue(name);
  if (!v || v->Type != static_cast<std::uint32_t>(RegType::DWord) || v->Data.size() != 4)
    throw RegistryError(InvalidDataTypeText(name));
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(v->Data[static_cast<std::size_t>(i)]);
  return static_cast<std::int32_t>(u);
}

std::string RegistryStore::ReadString(std::string_view name) const {
  const auto v = GetValue(name);
  if (!v || (v->Type != static_cast<std::uint32_t>(RegType::String) &&
             v->Type != static_cast<std::uint32_t>(RegType::ExpandString)))
    throw RegistryError(InvalidDataTypeText(name));
  return v->Data;
}

double RegistryStore::ReadFloat(std::string_view name) const {
  const auto v = GetValue(name);
  if (!v || v->Type != static_cast<std::uint32_t>(RegType::Binary) || v->Data.size() != 8)
    throw RegistryError(InvalidDataTypeText(name));
  unsigned char b[8];
  std::memcpy(b, v->Data.data(), 8);
  std::uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | b[i];
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

void RegistryStore::WriteInteger(std::string_view name, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
  SetValue(name, RegValue{static_cast<std::uint32_t>(RegType::DWord), data});
}

void RegistryStore::WriteString(std::string_view name, std::string_view v) {
  SetValue(name, RegValue{static_cast<std::uint32_t>(RegType::String), std::string(v)});
}

void RegistryStore::WriteFloat(std::string_view name, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  std::string data(8, '\0');
  for (int i = 0; i < 8; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((u >> (8 * i)) & 0xFF);
  SetValue(name, RegValue{static_cast<std::uint32_t>(RegType::Binary), data});
}

}  // namespace qel
