#include "install/product_key.h"

#include "app/registry.h"

std::string ProductKeyPath(const std::string& productName) {
  return "Software\\Tarnivex\\" + productName;
}

std::string ReadProductPath(const std::string& productName) {
  return ReadRegistryString(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), "Path");
}

std::string ReadProductExe(const std::string& productName) {
  return ReadRegistryString(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), "Exe");
}

DWORD ReadProductVersion(const std::string& productName) {
  return ReadRegistryDword(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), "Version");
}

bool RegisterProduct(const std::string& productName, const std::string& installPath,
                     const std::string& exeName, DWORD version) {
  std::string key = ProductKeyPath(productName);
  bool path = WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "Path", installPath.c_str());
  bool exe = WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), "Exe", exeName.c_str());
  bool ver = WriteRegistryDword(HKEY_CURRENT_USER, key.c_str(), "Version", version);
  return path && exe && ver;
}
