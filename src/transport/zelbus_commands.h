/// @file
/// The one table of command codes: enumerator, code, display name.
/// Plain C, so the C interface's header builds its enumerations from the
/// same table as the classes.
#ifndef ZEL_ZELBUS_COMMANDS_H
#define ZEL_ZELBUS_COMMANDS_H

/// @addtogroup transport
/// @{

/// The command codes as X(name, code, count, length, text) entries:
/// enumerator, code, the parameter count and parameter length its request
/// carries, display name. UdpCmdType, the capture's names and the request
/// frames (transport/zel_request.h) are built from it. Codes never change.
/// Count and length -1: a type the host never sends (only answers and
/// messages have it). The FRAM command's entry is its read; a write carries
/// the field's bytes as a third parameter. A programming data request adds
/// its line's length to the entry's 0.
#define ZEL_UDP_COMMAND_TABLE(X)                                             \
    X(UDP_CMD_CONNECT, 0, 3, 9, "connect")                                   \
    X(UDP_CMD_GET_COUNTS, 1, 2, 3, "get counts")                             \
    X(UDP_CMD_SET_OUTPUTS, 2, 2, 2, "set outputs")                           \
    X(UDP_CMD_RESET, 3, 0, 0, "reset")                                       \
    X(UDP_CMD_SET_IP, 4, 3, 12, "set IP")                                    \
    X(UDP_CMD_SET_DHCP, 5, 1, 1, "set DHCP")                                 \
    X(UDP_CMD_FORCE_FIRMWARE_REINSTALL, 6, 0, 0, "force firmware reinstall") \
    X(UDP_CMD_GET_CONFIG, 7, 0, 0, "get configuration")                      \
    X(UDP_CMD_GET_LEFT, 8, 0, 0, "get left")                                 \
    X(UDP_CMD_SET_RIGHT, 9, 1, 1, "set right")                               \
    X(UDP_CMD_GET_MODULE_TYPE, 10, 0, 0, "get module type")                  \
    X(UDP_CMD_KALIX_GET_PARAMS, 11, 1, 1, "Kalix parameters")                \
    X(UDP_CMD_KALIX_GET_INFO, 12, 1, 1, "Kalix information")                 \
    X(UDP_CMD_ASYNC_PORT, 13, 2, 3, "asynchronous port")                     \
    X(UDP_CMD_MODULE_SETTINGS, 15, 10, 10, "module settings")                \
    X(UDP_CMD_KALIX_CHANNEL_PRESENCE, 16, 0, 0, "Kalix channel presence")    \
    X(UDP_CMD_NEGATIVE_ANSWER, 17, -1, -1, "negative answer")                \
    X(UDP_CMD_CONNECT_MESSAGE, 18, -1, -1, "connect message")                \
    X(UDP_CMD_LATCH, 22, 2, 2, "latch")                                      \
    X(UDP_CMD_ADC_VALUES, 23, 1, 1, "ADC values")                            \
    X(UDP_CMD_FRAM, 24, 2, 2, "FRAM")                                        \
    X(UDP_CMD_ASYNC_MODE, 25, 1, 1, "asynchronous mode")                     \
    X(UDP_CMD_INTEGRITY, 26, 1, 1, "integrity")                              \
    X(UDP_CMD_SAMPLING_SETTINGS, 27, 2, 2, "sampling settings")              \
    X(UDP_CMD_PROGRAM_INIT, 28, 2, 5, "programming init")                    \
    X(UDP_CMD_PROGRAM_DATA, 29, 2, 0, "programming data")                    \
    X(UDP_CMD_PROGRAM_FINISHED, 30, 0, 0, "programming finished")            \
    X(UDP_CMD_ENABLE_DIAGS, 31, 2, 2, "enable diagnostics")                  \
    X(UDP_CMD_CHANNEL_SETTINGS, 32, 4, 5, "channel settings")                \
    X(UDP_CMD_CHANNEL_STATUS, 33, 2, 2, "channel status")                    \
    X(UDP_CMD_FACTORY_DEFAULTS, 34, 0, 0, "factory defaults")

/// @}

#endif  // ZEL_ZELBUS_COMMANDS_H
