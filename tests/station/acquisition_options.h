// Options of the acquisition tests: time-outs generous enough for a machine
// busy with other work, so that a test that a healthy module never fails
// does not depend on the load, and probes quick enough for a short test.
#ifndef ZEL_TESTS_STATION_ACQUISITION_OPTIONS_H
#define ZEL_TESTS_STATION_ACQUISITION_OPTIONS_H

#include "station/zel_acquisition.h"

inline ZelAcquisitionOptions fastOptions() {
    ZelAcquisitionOptions o;
    o.rateHz = 50;
    o.answerTimeoutMs = 150;
    o.probeTimeoutMs = 100;
    o.probeFirstMs = 10;
    o.probeMaxMs = 100;
    return o;
}

#endif  // ZEL_TESTS_STATION_ACQUISITION_OPTIONS_H
