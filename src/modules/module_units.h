// Constants the module kinds share when they turn counts into positions.
// Private to the modules layer (not installed).
#ifndef ZEL_MODULE_UNITS_H
#define ZEL_MODULE_UNITS_H

namespace zel::units {

// Inches in one millimetre.
constexpr double kInchPerMillimetre = 0.03937007874;
// One wrap of the module's 32-bit counter.
constexpr double kWrapSpan = 4294967295.0;

}  // namespace zel::units

#endif  // ZEL_MODULE_UNITS_H
