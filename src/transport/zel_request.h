/// @file
/// ZelRequest: one request frame, built by the function of its command. The
/// command byte, parameter count and parameter length come from the command
/// table (transport/zelbus_commands.h); each builder names its command's
/// parameters and writes them at their places behind the three-byte head.
/// Every module command, the chain sampler and the programming procedure
/// build their requests here.
#ifndef ZEL_ZEL_REQUEST_H
#define ZEL_ZEL_REQUEST_H

/// @addtogroup transport
/// @{

#include <cstddef>
#include <initializer_list>

#include "foundation/zel_export.h"
#include "transport/zelbus_frame.h"

/// A request frame: 262 bytes, zero behind what its builder wrote. A builder
/// given a value that does not fit its command's frame returns a refused
/// request; the exchange sends nothing for it and gives code 33.
class ZEL_API ZelRequest {
  public:
    /// Largest number of bytes of a FRAM field one write carries (the
    /// parameter length byte holds the field number and the write flag too).
    static constexpr unsigned kMaxFramBytes = 253;
    /// Largest programming data line.
    static constexpr unsigned kMaxDataLine = 255;
    /// Parameter bytes of the module settings block (command 15).
    static constexpr unsigned kSettingsBytes = 10;
    /// Value bytes of a channel setting (command 32), behind its operation
    /// and channel.
    static constexpr unsigned kChannelSettingBytes = 3;

    /// @name Connection and network settings
    /// @{

    /// Command 0 to one module: parameter byte 8 is 1 when connectOption.
    static ZelRequest connect(bool connectOption);
    /// Command 0 as the discovery broadcast: parameter byte 0 is 1, bytes 1
    /// to 3 the host address's third, second and first octets (its
    /// little-endian bytes 1 to 3), bytes 4 to 7 the host port little-endian.
    static ZelRequest discovery(unsigned long hostAddress, unsigned short hostPort);
    /// Command 4: the new address and netmask, each little-endian (as the
    /// numeric form of the dotted text).
    static ZelRequest setIp(unsigned long address, unsigned long netmask);
    /// Command 5 with the DHCP byte.
    static ZelRequest setDhcp(unsigned char dhcp);
    /// Command 6.
    static ZelRequest forceFirmwareReinstall();
    /// Command 13, read: sub-operation 1.
    static ZelRequest readAsyncPort();
    /// Command 13, write: sub-operation 0 and the port big-endian.
    static ZelRequest setAsyncPort(unsigned short port);
    /// Command 24, read of a field: [0, field].
    static ZelRequest readFram(unsigned char field);
    /// Command 24, write of a field: [1, field, bytes...], a third parameter.
    /// Refused for more than kMaxFramBytes bytes or null bytes with a size.
    static ZelRequest writeFram(unsigned char field, const unsigned char* bytes, unsigned size);
    /// Command 34 (broadcast; no answer).
    static ZelRequest factoryDefaults();
    /// @}

    /// @name Commands every module answers
    /// @{

    /// Command 1 with its option byte as given.
    static ZelRequest counts(unsigned char option);
    /// Command 3.
    static ZelRequest reset();
    /// Command 7.
    static ZelRequest getConfig();
    /// Command 8.
    static ZelRequest getLeft();
    /// Command 9: 1 when on.
    static ZelRequest setRight(bool on);
    /// Command 10.
    static ZelRequest getModuleType();
    /// Command 22: [option, choice].
    static ZelRequest latch(unsigned char option, unsigned char choice);
    /// Command 23.
    static ZelRequest adcValues();
    /// Command 25: 1 when enabled.
    static ZelRequest asyncMode(bool enable);
    /// Command 26 with its sub-operation (read, clear, clear all).
    static ZelRequest integrity(unsigned char operation);
    /// Command 31: [mode, 0].
    static ZelRequest enableDiags(unsigned char mode);
    /// @}

    /// @name Commands of the module kinds
    /// @{

    /// Command 2: [output, state].
    static ZelRequest setOutputs(unsigned char output, unsigned char state);
    /// Command 11: the channel.
    static ZelRequest kalixParams(unsigned char channel);
    /// Command 12: the channel.
    static ZelRequest kalixInfo(unsigned char channel);
    /// Command 16.
    static ZelRequest kalixChannelPresence();
    /// Command 15: the settings block, its first kSettingsBytes bytes as
    /// given (the rest zero). Refused for a longer block.
    static ZelRequest moduleSettings(std::initializer_list<unsigned char> block);
    /// Command 27: [channel, value] (the value is the kind's sub-operation or
    /// sample count).
    static ZelRequest samplingSettings(unsigned char channel, unsigned char value);
    /// Command 32: [operation, channel, values...], up to
    /// kChannelSettingBytes value bytes as given (the rest zero). Refused for
    /// more.
    static ZelRequest channelSettings(unsigned char operation, unsigned char channel,
                                      std::initializer_list<unsigned char> values);
    /// Command 33: [channel, function].
    static ZelRequest channelStatus(unsigned char channel, unsigned char function);
    /// @}

    /// @name Programming
    /// @{

    /// Command 28: the choice and the image's checksum little-endian.
    static ZelRequest programInit(unsigned char choice, unsigned long checksum);
    /// Command 29: one line of the image as it stands. Refused for a null
    /// line with a length, or one longer than kMaxDataLine.
    static ZelRequest programData(const char* line, unsigned length);
    /// Command 30.
    static ZelRequest programFinished();
    /// @}

    /// The header exactly as given, no parameters: for the exchange whose
    /// caller names the count and length itself. Every other request comes
    /// from its command's builder.
    static ZelRequest withHeader(UdpCmdType command, unsigned char paramCount,
                                 unsigned char paramLength);

    /// Byte 0.
    UdpCmdType command() const { return static_cast<UdpCmdType>(frame[0]); }
    /// Byte 1.
    int paramCount() const { return frame[1]; }
    /// Byte 2.
    int paramLength() const { return frame[2]; }
    /// The 262-byte frame.
    const unsigned char* bytes() const { return frame; }
    /// Bytes on the wire: the parameter length plus the header.
    int size() const { return zelbus::frameLength(frame); }
    /// True when a builder was given a value its frame cannot carry.
    bool refused() const { return outOfRange; }

  private:
    /// Command, count and length from the table (a type never sent is
    /// refused).
    explicit ZelRequest(UdpCmdType command);
    /// The command's request with `values` from parameter byte 0 (refused
    /// when they outrun the table's length).
    static ZelRequest withParams(UdpCmdType command, std::initializer_list<unsigned char> values);
    /// Parameter byte `index` (0 is frame byte 3).
    unsigned char* param(std::size_t index) { return frame + zelbus::kHeaderSize + index; }
    /// Writes `values` from parameter byte `at`; refuses the request when
    /// there are more than `room`.
    void put(std::size_t at, std::initializer_list<unsigned char> values, std::size_t room);
    void refuse() { outOfRange = true; }

    unsigned char frame[zelbus::kFrameSize];
    bool outOfRange;
};

/// @}

#endif  // ZEL_ZEL_REQUEST_H
