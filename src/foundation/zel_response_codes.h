/// @file
/// The one table of response codes: symbolic name, number, message.
/// Plain C, so the C interface's header builds its enumerations from the
/// same table as the classes.
#ifndef ZEL_RESPONSE_CODES_H
#define ZEL_RESPONSE_CODES_H

/// @addtogroup foundation
/// @{

/// The response codes as X(name, number, message) entries; ZEL_RESPONSE_CODE,
/// ZelResults::showRespCode and the C interface's enumeration are built from
/// it. Numbers and messages never change.
#define ZEL_RESPONSE_CODE_TABLE(X)                                                                 \
    X(ZEL_OK, 0, "None")                                                                           \
    X(ZEL_RESPONSE_TIMEOUT, 1, "Response timeout")                                                 \
    X(ZEL_COMMAND_TYPE_INVALID, 2, "Command type invalid")                                         \
    X(ZEL_MODULE_NUMBER_INVALID, 3, "Module number invalid")                                       \
    X(ZEL_COMMAND_TYPE_MISMATCH, 4, "Command type mismatch")                                       \
    X(ZEL_PARAM_COUNT_ZERO, 5, "Parameter count is zero")                                          \
    X(ZEL_PARAM_COUNT_MISMATCH, 6, "Parameter count mismatch")                                     \
    X(ZEL_SEND_PARAM_SIZE_MISMATCH, 7, "Parameter to send has a size mismatch")                    \
    X(ZEL_PARAM_SIZE_MISMATCH, 8, "Parameter size mismatch")                                       \
    X(ZEL_INVALID_CHANNEL_RETURNED, 9, "Invalid channel returned")                                 \
    X(ZEL_BROADCAST_SEND_FAILED, 10, "Broadcast command failed to send")                           \
    X(ZEL_BROADCAST_NO_RESPONSE, 11, "Broadcast failed to get a response")                         \
    X(ZEL_UDP_BIND_FAILED, 12, "The binding of the UDP socket failed")                             \
    X(ZEL_UDP_SERVER_FAILED, 13, "The creation of the UDP server failed")                          \
    X(ZEL_UDP_FLUSH_FAILED, 14, "The flushing of the UDP read buffer failed")                      \
    X(ZEL_UDP_SEND_FAILED, 15, "The sending of the UDP datagram failed")                           \
    X(ZEL_UDP_READ_FAILED, 16, "The reading of the UDP datagram failed")                           \
    X(ZEL_UDP_PORT_INVALID, 17, "The UDP port for receiving ZELBUS responses is invalid")          \
    X(ZEL_ASYNC_RECEIVE_FAILED, 18, "Asynchronous receive failed")                                 \
    X(ZEL_DOWNLOAD_ENDED_OK, 19, "Download ended ok")                                              \
    X(ZEL_COMM_NOT_INITIALIZED, 20, "The communication to the module has not been initialized")    \
    X(ZEL_MODULE_DATA_NOT_INITIALIZED, 21, "The module data has not been initialized")             \
    X(ZEL_IP_IN_USE, 22, "The IP address is used by another module")                               \
    X(ZEL_MODULE_CREATED_TWICE, 23, "The module cannot be created twice")                          \
    X(ZEL_IP_MALFORMED, 24, "The IP address is malformed, should be in the format 172.31.46.1")    \
    X(ZEL_NETMASK_MALFORMED, 25,                                                                   \
      "The netmask is malformed, should be in the format 255.255.255.0")                           \
    X(ZEL_RETURN_IP_MISMATCH, 26,                                                                  \
      "The IP address in the return packet does not match the module that sent the command")       \
    X(ZEL_FILE_PREPARATION_FAILED, 27,                                                             \
      "The file preparation for the programming of the module failed")                             \
    X(ZEL_NULL_MODULE_RETURNED, 28, "A NULL pointer was returned when trying to request a module") \
    X(ZEL_MODULE_NOT_IN_ZELBUS, 29,                                                                \
      "The module requested is not the same as the one in the ZELBUS")                             \
    X(ZEL_CONNECT_IN_NOT_HIGH, 30, "The IS_CONNECT_IN_SET pin is not high")                        \
    X(ZEL_FIRST_MODULE_UNKNOWN, 31, "The first module could not be identified")                    \
    X(ZEL_NULL_POINTER, 32, "A NULL pointer was passed into a method")                             \
    X(ZEL_OUT_OF_RANGE, 33, "A parameter value is out of range")                                   \
    X(ZEL_FRAM_ERROR, 34, "The FRAM request returned an error")                                    \
    X(ZEL_FILE_OPEN_FAILED, 35, "The file requested could not be opened")                          \
    X(ZEL_FILE_READ_FAILED, 36, "The file requested could not be read")                            \
    X(ZEL_NOT_IN_BOOTLOADER, 37, "The module is not in the bootloader")                            \
    X(ZEL_UNKNOWN_ERROR, 38, "Unknown error")                                                      \
    X(ZEL_FIRMWARE_REVISION_INVALID, 39, "The revision of the firmware is invalid")                \
    X(ZEL_IMAGE_INVALID, 40, "The image chosen for programming is invalid")                        \
    X(ZEL_CHECKSUM_FAILED, 41, "The checksum failed")                                              \
    X(ZEL_FIRMWARE_NOT_LOADED, 42, "The firmware is not loaded on the module")                     \
    X(ZEL_DHCP_BLOCKS_PROGRAMMING, 43,                                                             \
      "The bootloader and firmware cannot be updated while using DHCP")

/// @}

#endif  // ZEL_RESPONSE_CODES_H
