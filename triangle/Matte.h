// Trigonometry helpers of the triangle window; angles in degrees.
#pragma once

namespace matte {

inline constexpr double GraderPerRadian = 57.29577951308232;

} // namespace matte
