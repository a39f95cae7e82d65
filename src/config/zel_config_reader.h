/// @file
/// ZelConfigReader: the reads of a loaded configuration document and the
/// check that every module and channel holds the elements its kind needs.
/// Every operation first requires a loaded document (4, out-arguments
/// untouched). Module and channel numbers count from 1.
#ifndef ZEL_ZEL_CONFIG_READER_H
#define ZEL_ZEL_CONFIG_READER_H

/// @addtogroup config
/// @{

#include "config/zel_config_base.h"

/// The reads and the check of a loaded configuration document.
class ZEL_API ZelConfigReader : public ZelConfigBase {
  public:
    ZelConfigReader();
    ~ZelConfigReader();

    /// The root's containers, each of which must be a "Module" (8, with the
    /// count so far); 6 without a root, 7 for another root tag.
    ZEL_XML_RETURN getNumModules(unsigned short& count);
    /// The containers of module m, each of which must be a "Channel" (9). A
    /// number naming no module gives 0 channels and code 0.
    ZEL_XML_RETURN getNumChannels(const unsigned short& module, unsigned short& count);

    /// Document level: the text of every element of that tag anywhere, one
    /// per line (14 when there is none).
    ZEL_XML_RETURN getElement(const ZEL_XML_ELEMENTS& element, std::string& text);
    /// Module level: the first leaf of that tag in module m (11 without the
    /// module, 14 without the leaf; an empty element is no leaf).
    ZEL_XML_RETURN getElement(const ZEL_XML_ELEMENTS& element, std::string& text,
                              const unsigned short& module);
    /// Channel level: the first element of that tag in channel c of module m
    /// (13 without the channel, 14 without the element; an empty one reads as "").
    ZEL_XML_RETURN getElement(const ZEL_XML_ELEMENTS& element, std::string& text,
                              const unsigned short& module, const unsigned short& channel);

    /// "Tag, text\n" for each leaf of the module or channel; "" on any failure.
    std::string getSpecificModule(const unsigned short& module);
    /// @copydoc getSpecificModule
    std::string getSpecificChannel(const unsigned short& module, const unsigned short& channel);
    /// The whole document, indented by one blank per level.
    ZEL_XML_RETURN getAllElements(std::string& text);

    /// Reads, in order, "BaseLabel", then for each module its leaves 1 to 15
    /// (16 and 17 for LVDT modules) and for each of its channels the
    /// elements its kind requires. Stops at the first failure; element,
    /// module and channel then say where.
    ZEL_XML_RETURN validateElements(ZEL_XML_ELEMENTS& element, unsigned short& module,
                                    unsigned short& channel);

    /// Whether a channel of a module of identity `id` must hold `element`.
    static bool isRequiredChannelElement(ZEL_XML_ELEMENTS element, unsigned long id);

  protected:
    /// 4 when nothing is loaded, 5 when the document is missing, else 0.
    ZEL_INTERNAL ZEL_XML_RETURN readable() const;
};

/// @}

#endif  // ZEL_ZEL_CONFIG_READER_H
