// What the converter's source files share.
#pragma once

namespace rk_detail {

inline bool inRange(unsigned int value, unsigned int low, unsigned int high) {
  return value >= low && value <= high;
}

}  // namespace rk_detail
