/// @file
/// The configuration file of a chain: an XML document with the root
/// "ModuleConfig", the leaf "BaseLabel", then one "Module" per module with its
/// leaves and one "Channel" container per channel with the channel's leaves.
/// ZelConfigBase owns one such document in memory: it loads the file,
/// remembers its name for reloads and writes, and finds a module's or a
/// channel's nodes by number. ZelConfigReader adds the reads and the check,
/// ZelConfigWriter the edits and the write; hosts work on a ZelConfigWriter.
///
/// Elements are told apart by their number of child nodes: a leaf has one
/// (its text), a container more than one; an empty element is neither.
/// White-space-only text is dropped on load; comments count as nodes. Module
/// number n is the root's child at position n (position 0 is "BaseLabel");
/// channel c is the c-th container of its module, from 1.
#ifndef ZEL_ZEL_CONFIG_BASE_H
#define ZEL_ZEL_CONFIG_BASE_H

/// @addtogroup config
/// @{

#include <QString>
#include <memory>
#include <string>

#include "foundation/zel_export.h"

class QDomDocument;
class QDomElement;
class QDomNodeList;

#include "config/zel_config_tables.h"

/// The elements of a configuration file; 133 stands for a text naming none.
enum ZEL_XML_ELEMENTS : int {
/// One table entry as the code it becomes here.
#define ZEL_XML_ELEMENT_ENUMERATOR(name, value, tag) name = (value),
    ZEL_XML_ELEMENT_TABLE(ZEL_XML_ELEMENT_ENUMERATOR)
#undef ZEL_XML_ELEMENT_ENUMERATOR
        ZEL_XML_UNKNOWN_ELEMENT = 133,  ///< a text naming no element
};

/// The result of every configuration operation.
enum ZEL_XML_RETURN : int {
/// One table entry as the code it becomes here.
#define ZEL_XML_RETURN_ENUMERATOR(name, value, text) name = (value),
    ZEL_XML_RETURN_TABLE(ZEL_XML_RETURN_ENUMERATOR)
#undef ZEL_XML_RETURN_ENUMERATOR
};

/// A loaded configuration document and the walks by module and channel
/// number; see the file's description.
class ZEL_API ZelConfigBase {
  public:
    ZelConfigBase();
    ~ZelConfigBase();
    ZelConfigBase(const ZelConfigBase&) = delete;
    ZelConfigBase& operator=(const ZelConfigBase&) = delete;

    /// Stores the name first (also when the load fails), then parses the
    /// file: 2 when it cannot be opened, 3 when it is not well-formed. Any
    /// well-formed root loads. A failed load keeps the tree loaded before.
    ZEL_XML_RETURN loadXml(const std::string& fileName);
    /// Drops the tree (and edits not written) and loads the stored name again.
    ZEL_XML_RETURN reloadXml();
    /// The name stored by the last loadXml ("" before).
    std::string getFilename();
    /// Removes module n with all it holds (in memory until written); nothing
    /// happens when no module is at that position.
    void removeSpecificModuleNode(const unsigned short& module);

    /// Tag of an element, "Unknown" outside the table.
    static std::string decodeElementType(const ZEL_XML_ELEMENTS& element);
    /// decodeElementType as a QString.
    static QString decodeQElementType(const ZEL_XML_ELEMENTS& element);
    /// The element whose tag is exactly `tag`, 133 for any other text
    /// ("ChannelUnused_1" included: it is reserved).
    static ZEL_XML_ELEMENTS encodeQElementType(const QString& tag);
    /// Text of a result, "Ok" outside 0 to 16.
    static std::string decodeErrorType(const ZEL_XML_RETURN& code);

  protected:
    /// True while a document is loaded.
    bool isLoaded() const { return loaded; }
    /// The document while loaded; null otherwise.
    ZEL_INTERNAL QDomDocument* loadedDocument() const;
    /// Child nodes of module n, or of channel c of module n; empty when
    /// nothing is at those numbers.
    ZEL_INTERNAL QDomNodeList getModuleNodeList(const unsigned short& module) const;
    /// @copydoc getModuleNodeList
    ZEL_INTERNAL QDomNodeList getChannelNodeList(const unsigned short& module,
                                                 const unsigned short& channel) const;
    /// The "Module" element the module walk finds for n; null when none.
    ZEL_INTERNAL QDomElement moduleElement(const unsigned short& module) const;

  private:
    std::string fileName;
    std::unique_ptr<QDomDocument> document;
    bool loaded;
};

/// @}

#endif  // ZEL_ZEL_CONFIG_BASE_H
