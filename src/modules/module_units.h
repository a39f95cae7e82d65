// Constants the module kinds share when they turn counts into positions.
// Installed: the station layer and the tools convert with the same figures.
#ifndef ZEL_MODULE_UNITS_H
#define ZEL_MODULE_UNITS_H

namespace zel::units {

// Millimetres in one inch.
constexpr double kMillimetresPerInch = 25.4;
// Inches in one millimetre.
constexpr double kInchPerMillimetre = 0.03937007874;
// One wrap of the module's 32-bit counter.
constexpr double kWrapSpan = 4294967295.0;

}  // namespace zel::units

#endif  // ZEL_MODULE_UNITS_H
