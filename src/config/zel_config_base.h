// The configuration file of a chain: an XML document with the root
// "ModuleConfig", the leaf "BaseLabel", then one "Module" per module with its
// leaves and one "Channel" container per channel with the channel's leaves.
// ZelConfigBase owns one such document in memory: it loads the file,
// remembers its name for reloads and writes, and finds a module's or a
// channel's nodes by number. ZelConfigReader adds the reads and the check,
// ZelConfigWriter the edits and the write; hosts work on a ZelConfigWriter.
//
// Elements are told apart by their number of child nodes: a leaf has one
// (its text), a container more than one; an empty element is neither.
// White-space-only text is dropped on load; comments count as nodes. Module
// number n is the root's child at position n (position 0 is "BaseLabel");
// channel c is the c-th container of its module, from 1.
#ifndef ZEL_ZEL_CONFIG_BASE_H
#define ZEL_ZEL_CONFIG_BASE_H

#include <QString>
#include <memory>
#include <string>

#include "foundation/zel_export.h"

class QDomDocument;
class QDomElement;
class QDomNodeList;

// enumerator, value, tag
#define ZEL_XML_ELEMENT_TABLE(X)                                  \
    X(ZEL_XML_BASE_LABEL, 0, "BaseLabel")                         \
    X(ZEL_XML_SERIAL_NUMBER, 1, "SerialNumber")                   \
    X(ZEL_XML_MODEL, 2, "Model")                                  \
    X(ZEL_XML_LABEL, 3, "Label")                                  \
    X(ZEL_XML_MODULE_ID, 4, "ModuleId")                           \
    X(ZEL_XML_HARDWARE_ID, 5, "HardwareId")                       \
    X(ZEL_XML_BOOTLOADER_VERSION, 6, "BootloaderVersion")         \
    X(ZEL_XML_FIRMWARE_VERSION, 7, "FirmwareVersion")             \
    X(ZEL_XML_USING_DHCP, 8, "UsingDhcp")                         \
    X(ZEL_XML_NETMASK, 9, "Netmask")                              \
    X(ZEL_XML_NETMASK_STATIC, 10, "NetmaskStatic")                \
    X(ZEL_XML_MAC, 11, "Mac")                                     \
    X(ZEL_XML_IP, 12, "Ip")                                       \
    X(ZEL_XML_IP_STATIC, 13, "IpStatic")                          \
    X(ZEL_XML_PORT, 14, "Port")                                   \
    X(ZEL_XML_ACTIVE, 15, "Active")                               \
    X(ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, 16, "PrimaryExcitationVoltage") \
    X(ZEL_XML_PRIMARY_EXCITATION_FREQUENCY, 17, "PrimaryExcitationFrequency") \
    X(ZEL_XML_CHANNEL_LABEL, 100, "ChannelLabel")                 \
    X(ZEL_XML_ERROR_MONITORING, 101, "ErrorMonitoring")           \
    X(ZEL_XML_POPULATED, 102, "Populated")                        \
    X(ZEL_XML_DEVICE_TYPE, 103, "DeviceType")                     \
    X(ZEL_XML_ROTARY_FORMAT_TYPE, 104, "RotaryFormatType")        \
    X(ZEL_XML_UOM, 105, "UOM")                                    \
    X(ZEL_XML_ERROR_COMPENSATION, 106, "ErrorCompensation")       \
    X(ZEL_XML_SCALE_FACTOR, 107, "ScaleFactor")                   \
    X(ZEL_XML_MASTERING_ENABLED, 108, "MasteringEnabled")         \
    X(ZEL_XML_MASTER_DESIRED, 109, "MasterDesired")               \
    X(ZEL_XML_MASTER_OFFSET, 110, "MasterOffset")                 \
    X(ZEL_XML_MASTER_UOM, 111, "MasterUom")                       \
    X(ZEL_XML_DISPLAY_RESOLUTION, 112, "DisplayResolution")       \
    X(ZEL_XML_RESOLUTION, 113, "Resolution")                      \
    X(ZEL_XML_OFFSET, 114, "Offset")                              \
    X(ZEL_XML_DISTINGUISHABLE_REVOLUTIONS, 115, "DistinguishableRevolutions") \
    X(ZEL_XML_ENCODER_NAME, 116, "EncoderName")                   \
    X(ZEL_XML_ENCODER_ID, 117, "EncoderId")                       \
    X(ZEL_XML_CHANNEL_SERIAL_NUMBER, 118, "ChannelSerialNumber")  \
    X(ZEL_XML_LINE_COUNT, 119, "LineCount")                       \
    X(ZEL_XML_SIGNAL_PERIOD, 120, "SignalPeriod")                 \
    X(ZEL_XML_COUNTING_DIRECTION, 121, "CountingDirection")       \
    X(ZEL_XML_REFERENCE_MARK, 122, "ReferenceMark")               \
    X(ZEL_XML_CHANNEL_UNUSED_1, 123, "ChannelUnused_1")           \
    X(ZEL_XML_INSTRUMENTATION_MIN, 124, "InstrumentationMin")     \
    X(ZEL_XML_INSTRUMENTATION_MAX, 125, "InstrumentationMax")     \
    X(ZEL_XML_ACTUAL_MIN, 126, "ActualMin")                       \
    X(ZEL_XML_ACTUAL_MAX, 127, "ActualMax")                       \
    X(ZEL_XML_CALIBRATION_TIMESTAMP, 128, "CalibrationTimestamp") \
    X(ZEL_XML_RECALIBRATION_TIMER, 129, "RecalibrationTimer")     \
    X(ZEL_XML_GAIN_CODE, 130, "GainCode")                         \
    X(ZEL_XML_INTERPOLATION, 131, "Interpolation")                \
    X(ZEL_XML_SIGNAL_TYPE, 132, "SignalType")

// The elements of a configuration file; 133 stands for a text naming none.
enum ZEL_XML_ELEMENTS : int {
#define ZEL_XML_ELEMENT_ENUMERATOR(name, value, tag) name = value,
    ZEL_XML_ELEMENT_TABLE(ZEL_XML_ELEMENT_ENUMERATOR)
#undef ZEL_XML_ELEMENT_ENUMERATOR
    ZEL_XML_UNKNOWN_ELEMENT = 133,
};

// enumerator, value, text
#define ZEL_XML_RETURN_TABLE(X)                                                              \
    X(ZEL_XML_OK, 0, "Ok")                                                                   \
    X(ZEL_XML_INVALID_TAG_NAME, 1, "Invalid tag name")                                       \
    X(ZEL_XML_INVALID_FILE, 2, "Invalid file")                                               \
    X(ZEL_XML_DOM_CREATE_FAILED, 3, "Failed to create DOM")                                  \
    X(ZEL_XML_DOM_NOT_CREATED, 4, "DOM not created")                                         \
    X(ZEL_XML_DOM_NULL, 5, "DOM is NULL")                                                    \
    X(ZEL_XML_ROOT_NULL, 6, "DOM root element is NULL")                                      \
    X(ZEL_XML_INVALID_ROOT_TAG, 7, "Invalid tagname for ModuleConfig")                       \
    X(ZEL_XML_INVALID_MODULE_TAG, 8, "Invalid tagname for the module")                       \
    X(ZEL_XML_INVALID_CHANNEL_TAG, 9, "Invalid tagname for the channel")                     \
    X(ZEL_XML_INVALID_MODULE, 10, "Invalid module")                                          \
    X(ZEL_XML_INVALID_MODULE_LIST, 11, "Invalid module list")                                \
    X(ZEL_XML_INVALID_CHANNEL, 12, "Invalid channel")                                        \
    X(ZEL_XML_INVALID_CHANNEL_LIST, 13, "Invalid channel list")                              \
    X(ZEL_XML_TAG_NOT_FOUND, 14, "Tag name not found")                                       \
    X(ZEL_XML_SAME_DATA, 15, "The data to set is the same as what is already in the file")  \
    X(ZEL_XML_NULL_POINTER, 16, "A NULL pointer was passed in as a parameter")

// The result of every configuration operation.
enum ZEL_XML_RETURN : int {
#define ZEL_XML_RETURN_ENUMERATOR(name, value, text) name = value,
    ZEL_XML_RETURN_TABLE(ZEL_XML_RETURN_ENUMERATOR)
#undef ZEL_XML_RETURN_ENUMERATOR
};

class ZEL_API ZelConfigBase {
public:
    ZelConfigBase();
    ~ZelConfigBase();
    ZelConfigBase(const ZelConfigBase&) = delete;
    ZelConfigBase& operator=(const ZelConfigBase&) = delete;

    // Stores the name first (also when the load fails), then parses the
    // file: 2 when it cannot be opened, 3 when it is not well-formed. Any
    // well-formed root loads. A failed load keeps the tree loaded before.
    ZEL_XML_RETURN loadXml(const std::string& fileName);
    // Drops the tree (and edits not written) and loads the stored name again.
    ZEL_XML_RETURN reloadXml();
    std::string getFilename();
    // Removes module n with all it holds (in memory until written); nothing
    // happens when no module is at that position.
    void removeSpecificModuleNode(const unsigned short& module);

    // Tag of an element, "Unknown" outside the table.
    static std::string decodeElementType(const ZEL_XML_ELEMENTS& element);
    static QString decodeQElementType(const ZEL_XML_ELEMENTS& element);
    // The element whose tag is exactly `tag`, 133 for any other text
    // ("ChannelUnused_1" included: it is reserved).
    static ZEL_XML_ELEMENTS encodeQElementType(const QString& tag);
    // Text of a result, "Ok" outside 0 to 16.
    static std::string decodeErrorType(const ZEL_XML_RETURN& code);

protected:
    bool isLoaded() const { return loaded; }
    // The document while loaded; null otherwise.
    ZEL_INTERNAL QDomDocument* loadedDocument() const;
    // Child nodes of module n, or of channel c of module n; empty when
    // nothing is at those numbers.
    ZEL_INTERNAL QDomNodeList getModuleNodeList(const unsigned short& module) const;
    ZEL_INTERNAL QDomNodeList getChannelNodeList(const unsigned short& module,
                                                 const unsigned short& channel) const;
    // The "Module" element the module walk finds for n; null when none.
    ZEL_INTERNAL QDomElement moduleElement(const unsigned short& module) const;

private:
    std::string fileName;
    std::unique_ptr<QDomDocument> document;
    bool loaded;
};

#endif  // ZEL_ZEL_CONFIG_BASE_H
