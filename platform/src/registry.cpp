// The file-backed registry store.
#include "platform/registry.h"

#include <cstdlib>

namespace platform {

std::string RegistryFilePath() {
  const char* path = std::getenv("OPOS_REGISTRY");
  if (path && *path) return path;
  return "/etc/opos/registry.reg";
}

}  // namespace platform
