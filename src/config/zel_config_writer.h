/// @file
/// ZelConfigWriter: edits the text of one module-level or channel-level
/// element of a loaded document and writes the document to a file, keeping
/// the replaced file as "name~". It never creates elements. Edits stay in
/// memory until writeFile; reloadXml drops them.
#ifndef ZEL_ZEL_CONFIG_WRITER_H
#define ZEL_ZEL_CONFIG_WRITER_H

/// @addtogroup config
/// @{

#include "config/zel_config_reader.h"

/// Edits and writes a loaded configuration document.
class ZEL_API ZelConfigWriter : public ZelConfigReader {
  public:
    ZelConfigWriter();
    ~ZelConfigWriter();

    /// The first element of that tag in module m (or channel c of module m)
    /// gets the new text: 4 when nothing is loaded, 14 without the module or
    /// channel, 15 when the text is already that, 0 otherwise (also when the
    /// module has no such element: nothing is created, and an empty element
    /// stays empty).
    ZEL_XML_RETURN setElement(const ZEL_XML_ELEMENTS& element, const std::string& text,
                              const unsigned short& module);
    /// @copydoc setElement(const ZEL_XML_ELEMENTS&, const std::string&, const unsigned short&)
    ZEL_XML_RETURN setElement(const ZEL_XML_ELEMENTS& element, const std::string& text,
                              const unsigned short& module, const unsigned short& channel);

    /// Writes the document, indented by four blanks, in the encoding of its
    /// XML declaration (UTF-8 without one), to the loaded file's name or to
    /// `fileName` (which does not change the stored name). A character the
    /// encoding cannot hold is written as a character reference ("&#x2126;").
    /// An existing file is first copied to "name~". The new content replaces
    /// the file whole: it is written beside it and renamed over it (in place
    /// when only the file, not its folder, may be written), so a failed write
    /// leaves the old file as it was. 4 when nothing is loaded; 2 when the
    /// declared encoding is one this system cannot write, or a character it
    /// cannot hold stands where no reference may (a name, a comment): in both
    /// cases no file is touched. Other file errors are not reported.
    ZEL_XML_RETURN writeFile();
    /// @copydoc writeFile()
    ZEL_XML_RETURN writeFile(const std::string& fileName);

  private:
    ZEL_INTERNAL ZEL_XML_RETURN setIn(const QDomNodeList& nodes, const ZEL_XML_ELEMENTS& element,
                                      const std::string& text);
};

/// @}

#endif  // ZEL_ZEL_CONFIG_WRITER_H
