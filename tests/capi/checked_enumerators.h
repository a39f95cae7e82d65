/* Enumerators that the C header declares on its own beside the C++
 * headers; a C translation unit and a C++ one both expand this list, and a
 * test compares the values. */
#ifndef ZEL_TESTS_CHECKED_ENUMERATORS_H
#define ZEL_TESTS_CHECKED_ENUMERATORS_H

#define ZEL_CHECKED_ENUMERATORS(X)                                                                 \
    X(PROGRAMMING_IDLE)                                                                            \
    X(PROGRAMMING_PREPARING) X(PROGRAMMING_SENDING) X(PROGRAMMING_FINISHING) X(                    \
        PROGRAMMING_COMPLETE) X(PROGRAMMING_FAILED) X(COUNT_REQUEST_NORMAL)                        \
        X(COUNT_REQUEST_ALTERNATE) X(LATCH_SET) X(LATCH_CLEAR) X(LATCH_READ) X(LATCH_CHOICE_0) X(  \
            LATCH_CHOICE_1) X(LATCH_CHOICE_2) X(LATCH_CHOICE_3) X(LATCH_CHOICE_4)                  \
            X(LATCH_CHOICE_NONE) X(DIAG_MODE_OFF) X(DIAG_MODE_ON) X(ROTARY_FORMAT_0_360) X(        \
                ROTARY_FORMAT_MOD_360) X(ROTARY_FORMAT_PLUS_MINUS_180) X(ROTARY_FORMAT_CONTINUOUS) \
                X(ROTARY_FORMAT_NONE) X(ENCODER_TYPE_NONE) X(ENCODER_TYPE_LINEAR) X(               \
                    ENCODER_TYPE_ROTARY) X(UOM_NONE) X(UOM_COUNTS) X(UOM_INCH) X(UOM_MILLIMETRE)   \
                    X(UOM_DEGREE) X(SIGNAL_TYPE_VOLTAGE) X(SIGNAL_TYPE_CURRENT) X(                 \
                        REFERENCE_MARK_SINGLE) X(REFERENCE_MARK_DISTANCE_CODED)                    \
                        X(REF_MARK_STATE_IDLE) X(REF_MARK_STATE_SEARCHING) X(REF_MARK_STATE_FOUND) \
                            X(KALIX_ERROR_CLEAR) X(KALIX_ERROR_SET) X(KALIX_ERROR_UNKNOWN) X(      \
                                TTL_INTERPOLATION_1) X(TTL_INTERPOLATION_2) X(TTL_INTERPOLATION_5) \
                                X(TTL_INTERPOLATION_10) X(TTL_INTERPOLATION_20)                    \
                                    X(TTL_INTERPOLATION_25) X(TTL_INTERPOLATION_50) X(             \
                                        TTL_INTERPOLATION_100) X(LVDT_UOM_NONE) X(LVDT_UOM_COUNTS) \
                                        X(LVDT_UOM_MILLIMETRE) X(LVDT_UOM_INCH) X(                 \
                                            LVDT_UOM_MICROMETRE) X(LVDT_UPDATE_OFF)                \
                                            X(LVDT_UPDATE_ON) X(LVDT_OVERSAMPLING_NONE) X(         \
                                                LVDT_OVERSAMPLING_2) X(LVDT_OVERSAMPLING_4)        \
                                                X(LVDT_OVERSAMPLING_8) X(ZEL_XML_UNKNOWN_ELEMENT)  \
                                                    X(ZEL_XML_SIGNAL_TYPE) X(ZEL_XML_NULL_POINTER) \
                                                        X(ZEL_NULL_POINTER)                        \
                                                            X(UDP_CMD_FACTORY_DEFAULTS)            \
                                                                X(ZEL_4116_06)

#endif
