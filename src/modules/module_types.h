/// @file
/// Enumerations and records shared by the module kinds: the options of the
/// count, latch and diagnostics commands, the folding of rotary positions,
/// and the per-channel encoder settings. All enumerations are 32-bit and go
/// on the wire as one byte where a command carries them.
#ifndef ZEL_MODULE_TYPES_H
#define ZEL_MODULE_TYPES_H

/// @addtogroup modules
/// @{

/// First parameter byte of every read of values (command 1). getCounts and
/// the encoder kinds' position reads send any other value as 0.
enum COUNT_REQUEST_OPTION : int {
    COUNT_REQUEST_NORMAL = 0,
    COUNT_REQUEST_ALTERNATE = 1,
};

/// First parameter of the latch command (22).
enum LATCH_OPTIONS : int {
    LATCH_SET = 0,    ///< arm a latch; only choices 0 to 4 are accepted with it
    LATCH_CLEAR = 1,  ///< clear the latch
    LATCH_READ = 2,   ///< read the latch states
};

/// Second parameter of the latch command, passed to the module unchanged.
enum LATCH_CHOICE : int {
    LATCH_CHOICE_0 = 0,
    LATCH_CHOICE_1 = 1,
    LATCH_CHOICE_2 = 2,
    LATCH_CHOICE_3 = 3,
    LATCH_CHOICE_4 = 4,
    LATCH_CHOICE_NONE = 5,
};

/// Diagnostic mode of enableDiags, passed to the module as one byte; a host
/// may send any other value the module understands.
enum DIAG_MODE_OPTIONS : int {
    DIAG_MODE_OFF = 0,
    DIAG_MODE_ON = 1,
};

/// How a rotary position in degrees is folded (ZelModule::foldIncrementalAngle).
enum ROTARY_FORMAT : int {
    ROTARY_FORMAT_0_360 = 0,           ///< 0 <= value < 360
    ROTARY_FORMAT_MOD_360 = 1,         ///< wraps corrected, then remainder of / 360
    ROTARY_FORMAT_PLUS_MINUS_180 = 2,  ///< -180 <= value < 180
    ROTARY_FORMAT_CONTINUOUS = 3,      ///< wraps corrected, not folded
    ROTARY_FORMAT_NONE = 4,            ///< unchanged
};

/// Kind of encoder on a channel. The position conversions treat every
/// non-zero type other than rotary as linear.
enum ENCODER_TYPES_ENUM : int {
    ENCODER_TYPE_NONE = 0,
    ENCODER_TYPE_LINEAR = 1,
    ENCODER_TYPE_ROTARY = 3,  ///< positions in degrees, folded by ROTARY_FORMAT
};

/// Unit of a channel's positions.
enum UOM : int {
    UOM_NONE = 0,    ///< raw counts
    UOM_COUNTS = 1,  ///< raw counts; also the unit of an empty Kalix channel
    UOM_INCH = 2,
    UOM_MILLIMETRE = 3,
    UOM_DEGREE = 4,  ///< rotary channels; linear conversions take it as millimetres
};

/// Signal kind of a 1 Vpp channel; the module reports 1 for current signals
/// and any other value is read as voltage.
enum SIGNAL_TYPE : int {
    SIGNAL_TYPE_VOLTAGE = 0,  ///< 1 Vpp
    SIGNAL_TYPE_CURRENT = 1,  ///< 11 uApp
};

/// Kind of reference mark an incremental channel references on, sent to the
/// module as one byte; other values the module understands pass unchanged.
enum REFERENCE_MARK_ENUM : int {
    REFERENCE_MARK_SINGLE = 0,
    REFERENCE_MARK_DISTANCE_CODED = 1,
};

/// The module's 16-bit referencing state, passed on as the module reports it.
/// Its representation is 16 bits, the width the library writes.
enum REF_MARK_STATE : unsigned short {
    REF_MARK_STATE_IDLE = 0,
    REF_MARK_STATE_SEARCHING = 1,
    REF_MARK_STATE_FOUND = 2,
};

/// The settings with which a channel's counts become positions.
struct EncoderInfo {
    /// Linear or rotary; ENCODER_TYPE_NONE leaves positions as raw counts.
    ENCODER_TYPES_ENUM encoderType = ENCODER_TYPE_NONE;
    /// Unit of the positions; none or counts gives the raw count.
    UOM uom = UOM_NONE;
    /// Rotary: counts per revolution; linear Kalix encoder: nanometres per count.
    unsigned long measuringStep = 0;
    /// False negates a 1 Vpp channel's count. A Kalix channel holds its
    /// encoder's direction flag here; a TTL module counts in the direction
    /// sent to it, and this field is not used.
    bool countingDirection = true;
    double errorCompensation = 1.0;  ///< factor applied to the count
};

/// @}

#endif  // ZEL_MODULE_TYPES_H
