/// @file
/// The one table of command codes: enumerator, code, display name.
/// Plain C, so the C interface's header builds its enumerations from the
/// same table as the classes.
#ifndef ZEL_ZELBUS_COMMANDS_H
#define ZEL_ZELBUS_COMMANDS_H

/// @addtogroup transport
/// @{

/// The command codes as X(name, code, text) entries; UdpCmdType and the
/// capture's names are built from it. Codes never change.
#define ZEL_UDP_COMMAND_TABLE(X)                                       \
    X(UDP_CMD_CONNECT, 0, "connect")                                   \
    X(UDP_CMD_GET_COUNTS, 1, "get counts")                             \
    X(UDP_CMD_SET_OUTPUTS, 2, "set outputs")                           \
    X(UDP_CMD_RESET, 3, "reset")                                       \
    X(UDP_CMD_SET_IP, 4, "set IP")                                     \
    X(UDP_CMD_SET_DHCP, 5, "set DHCP")                                 \
    X(UDP_CMD_FORCE_FIRMWARE_REINSTALL, 6, "force firmware reinstall") \
    X(UDP_CMD_GET_CONFIG, 7, "get configuration")                      \
    X(UDP_CMD_GET_LEFT, 8, "get left")                                 \
    X(UDP_CMD_SET_RIGHT, 9, "set right")                               \
    X(UDP_CMD_GET_MODULE_TYPE, 10, "get module type")                  \
    X(UDP_CMD_KALIX_GET_PARAMS, 11, "Kalix parameters")                \
    X(UDP_CMD_KALIX_GET_INFO, 12, "Kalix information")                 \
    X(UDP_CMD_ASYNC_PORT, 13, "asynchronous port")                     \
    X(UDP_CMD_MODULE_SETTINGS, 15, "module settings")                  \
    X(UDP_CMD_KALIX_CHANNEL_PRESENCE, 16, "Kalix channel presence")    \
    X(UDP_CMD_NEGATIVE_ANSWER, 17, "negative answer")                  \
    X(UDP_CMD_CONNECT_MESSAGE, 18, "connect message")                  \
    X(UDP_CMD_LATCH, 22, "latch")                                      \
    X(UDP_CMD_ADC_VALUES, 23, "ADC values")                            \
    X(UDP_CMD_FRAM, 24, "FRAM")                                        \
    X(UDP_CMD_ASYNC_MODE, 25, "asynchronous mode")                     \
    X(UDP_CMD_INTEGRITY, 26, "integrity")                              \
    X(UDP_CMD_SAMPLING_SETTINGS, 27, "sampling settings")              \
    X(UDP_CMD_PROGRAM_INIT, 28, "programming init")                    \
    X(UDP_CMD_PROGRAM_DATA, 29, "programming data")                    \
    X(UDP_CMD_PROGRAM_FINISHED, 30, "programming finished")            \
    X(UDP_CMD_ENABLE_DIAGS, 31, "enable diagnostics")                  \
    X(UDP_CMD_CHANNEL_SETTINGS, 32, "channel settings")                \
    X(UDP_CMD_CHANNEL_STATUS, 33, "channel status")                    \
    X(UDP_CMD_FACTORY_DEFAULTS, 34, "factory defaults")

/// @}

#endif  // ZEL_ZELBUS_COMMANDS_H
