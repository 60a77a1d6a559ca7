#include "owned_cstring.h"

#include <cstring>

namespace platform {

OwnedCString copyToCString(std::string_view bytes) noexcept {
  OwnedCString copy(static_cast<char*>(std::malloc(bytes.size() + 1)));
  if (!copy) return nullptr;
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  copy.get()[bytes.size()] = '\0';
  return copy;
}

}  // namespace platform
