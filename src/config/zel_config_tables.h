/// @file
/// The elements of a configuration file and the results of its operations.
/// Plain C, so the C interface's header builds its enumerations from the
/// same table as the classes.
#ifndef ZEL_CONFIG_TABLES_H
#define ZEL_CONFIG_TABLES_H

/// @addtogroup config
/// @{

/// The elements as X(enumerator, value, tag) entries; ZEL_XML_ELEMENTS, the
/// tag lookups and the C interface's enumeration are built from it.
#define ZEL_XML_ELEMENT_TABLE(X)                                              \
    X(ZEL_XML_BASE_LABEL, 0, "BaseLabel")                                     \
    X(ZEL_XML_SERIAL_NUMBER, 1, "SerialNumber")                               \
    X(ZEL_XML_MODEL, 2, "Model")                                              \
    X(ZEL_XML_LABEL, 3, "Label")                                              \
    X(ZEL_XML_MODULE_ID, 4, "ModuleId")                                       \
    X(ZEL_XML_HARDWARE_ID, 5, "HardwareId")                                   \
    X(ZEL_XML_BOOTLOADER_VERSION, 6, "BootloaderVersion")                     \
    X(ZEL_XML_FIRMWARE_VERSION, 7, "FirmwareVersion")                         \
    X(ZEL_XML_USING_DHCP, 8, "UsingDhcp")                                     \
    X(ZEL_XML_NETMASK, 9, "Netmask")                                          \
    X(ZEL_XML_NETMASK_STATIC, 10, "NetmaskStatic")                            \
    X(ZEL_XML_MAC, 11, "Mac")                                                 \
    X(ZEL_XML_IP, 12, "Ip")                                                   \
    X(ZEL_XML_IP_STATIC, 13, "IpStatic")                                      \
    X(ZEL_XML_PORT, 14, "Port")                                               \
    X(ZEL_XML_ACTIVE, 15, "Active")                                           \
    X(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, 16, "PrimaryExcitationVoltage")     \
    X(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, 17, "PrimaryExcitationFrequency") \
    X(ZEL_XML_CHANNEL_LABEL, 100, "ChannelLabel")                             \
    X(ZEL_XML_ERROR_MONITORING, 101, "ErrorMonitoring")                       \
    X(ZEL_XML_POPULATED, 102, "Populated")                                    \
    X(ZEL_XML_DEVICE_TYPE, 103, "DeviceType")                                 \
    X(ZEL_XML_ROTARY_FORMAT_TYPE, 104, "RotaryFormatType")                    \
    X(ZEL_XML_UOM, 105, "UOM")                                                \
    X(ZEL_XML_ERROR_COMPENSATION, 106, "ErrorCompensation")                   \
    X(ZEL_XML_SCALE_FACTOR, 107, "ScaleFactor")                               \
    X(ZEL_XML_MASTERING_ENABLED, 108, "MasteringEnabled")                     \
    X(ZEL_XML_MASTER_DESIRED, 109, "MasterDesired")                           \
    X(ZEL_XML_MASTER_OFFSET, 110, "MasterOffset")                             \
    X(ZEL_XML_MASTER_UOM, 111, "MasterUom")                                   \
    X(ZEL_XML_DISPLAY_RESOLUTION, 112, "DisplayResolution")                   \
    X(ZEL_XML_RESOLUTION, 113, "Resolution")                                  \
    X(ZEL_XML_OFFSET, 114, "Offset")                                          \
    X(ZEL_XML_DISTINGUISHABLE_REVOLUTIONS, 115, "DistinguishableRevolutions") \
    X(ZEL_XML_ENCODER_NAME, 116, "EncoderName")                               \
    X(ZEL_XML_ENCODER_ID, 117, "EncoderId")                                   \
    X(ZEL_XML_CHANNEL_SERIAL_NUMBER, 118, "ChannelSerialNumber")              \
    X(ZEL_XML_LINE_COUNT, 119, "LineCount")                                   \
    X(ZEL_XML_SIGNAL_PERIOD, 120, "SignalPeriod")                             \
    X(ZEL_XML_COUNTING_DIRECTION, 121, "CountingDirection")                   \
    X(ZEL_XML_REFERENCE_MARK, 122, "ReferenceMark")                           \
    X(ZEL_XML_CHANNEL_UNUSED_1, 123, "ChannelUnused_1")                       \
    X(ZEL_XML_INSTRUMENTATION_MIN, 124, "InstrumentationMin")                 \
    X(ZEL_XML_INSTRUMENTATION_MAX, 125, "InstrumentationMax")                 \
    X(ZEL_XML_ACTUAL_MIN, 126, "ActualMin")                                   \
    X(ZEL_XML_ACTUAL_MAX, 127, "ActualMax")                                   \
    X(ZEL_XML_CALIBRATION_TIMESTAMP, 128, "CalibrationTimestamp")             \
    X(ZEL_XML_RECALIBRATION_TIMER, 129, "RecalibrationTimer")                 \
    X(ZEL_XML_GAIN_CODE, 130, "GainCode")                                     \
    X(ZEL_XML_INTERPOLATION, 131, "Interpolation")                            \
    X(ZEL_XML_SIGNAL_TYPE, 132, "SignalType")

/// The results as X(enumerator, value, text) entries; ZEL_XML_RETURN and
/// ZelConfigBase::decodeErrorType are built from it. Never renumbered.
#define ZEL_XML_RETURN_TABLE(X)                                                            \
    X(ZEL_XML_OK, 0, "Ok")                                                                 \
    X(ZEL_XML_INVALID_TAG_NAME, 1, "Invalid tag name")                                     \
    X(ZEL_XML_INVALID_FILE, 2, "Invalid file")                                             \
    X(ZEL_XML_DOM_CREATE_FAILED, 3, "Failed to create DOM")                                \
    X(ZEL_XML_DOM_NOT_CREATED, 4, "DOM not created")                                       \
    X(ZEL_XML_DOM_NULL, 5, "DOM is NULL")                                                  \
    X(ZEL_XML_ROOT_NULL, 6, "DOM root element is NULL")                                    \
    X(ZEL_XML_INVALID_ROOT_TAG, 7, "Invalid tagname for ModuleConfig")                     \
    X(ZEL_XML_INVALID_MODULE_TAG, 8, "Invalid tagname for the module")                     \
    X(ZEL_XML_INVALID_CHANNEL_TAG, 9, "Invalid tagname for the channel")                   \
    X(ZEL_XML_INVALID_MODULE, 10, "Invalid module")                                        \
    X(ZEL_XML_INVALID_MODULE_LIST, 11, "Invalid module list")                              \
    X(ZEL_XML_INVALID_CHANNEL, 12, "Invalid channel")                                      \
    X(ZEL_XML_INVALID_CHANNEL_LIST, 13, "Invalid channel list")                            \
    X(ZEL_XML_TAG_NOT_FOUND, 14, "Tag name not found")                                     \
    X(ZEL_XML_SAME_DATA, 15, "The data to set is the same as what is already in the file") \
    X(ZEL_XML_NULL_POINTER, 16, "A NULL pointer was passed in as a parameter")

/// @}

#endif  // ZEL_CONFIG_TABLES_H
