// Feeds arbitrary bytes to the .reg parser. Whatever it accepts must survive a round trip
// through the writer unchanged: the store rewrites the file that way on every change.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

bool SameKeys(const std::vector<platform::RegistryKey>& a, const std::vector<platform::RegistryKey>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (a[k].path != b[k].path || a[k].values.size() != b[k].values.size()) return false;
    for (std::size_t v = 0; v < a[k].values.size(); ++v) {
      const auto& x = a[k].values[v];
      const auto& y = b[k].values[v];
      if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
    }
  }
  return true;
}

// The writer puts a key's default value first, as regedit does; the order of the others stays.
void DefaultFirst(std::vector<platform::RegistryKey>& keys) {
  for (auto& key : keys)
    std::stable_partition(key.values.begin(), key.values.end(), [](const auto& v) { return v.name.empty(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<platform::RegistryKey> keys;
  std::string error;
  if (!platform::ParseRegFile(bytes, keys, error)) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  // Deletion marks are instructions for an import, not content the writer keeps.
  for (const auto& key : keys) {
    if (!key.path.empty() && key.path[0] == L'-') return 0;
    for (const auto& value : key.values)
      if (value.type == platform::kRegDeleteValueMark) return 0;
  }
  std::vector<platform::RegistryKey> again;
  if (!platform::ParseRegFile(platform::FormatRegFile(keys), again, error)) std::abort();
  DefaultFirst(keys);
  if (!SameKeys(keys, again)) std::abort();
  return 0;
}
