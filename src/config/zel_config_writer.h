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
    /// leaves the old file as it was. 4 when nothing is loaded, else 0, also
    /// when nothing could be written: a declared encoding this system cannot
    /// write, a character it cannot hold where no reference may stand (a
    /// name, a comment), a file that cannot be opened, a full disk. In all
    /// of these the file and its backup stay as they were.
    /// writeFileChecked() reports them.
    ZEL_XML_RETURN writeFile();
    /// @copydoc writeFile()
    ZEL_XML_RETURN writeFile(const std::string& fileName);

    /// writeFile() that reports a write that did not happen: 0 only when the
    /// file holds the whole document (written and committed to disk), 4 when
    /// nothing is loaded, 2 "Invalid file" otherwise, with `why` telling the
    /// reason (in the system's 8-bit encoding, as file names are) and which
    /// file holds the previous version. Beyond writeFile()
    /// it refuses, before any file is touched, an empty file name, a
    /// document with an element whose text is empty or only blanks (read
    /// back, such an element holds nothing and the file fails its check),
    /// and a file whose previous version cannot be kept as "name~".
    ZEL_XML_RETURN writeFileChecked(std::string& why);
    /// @copydoc writeFileChecked(std::string&)
    ZEL_XML_RETURN writeFileChecked(const std::string& fileName, std::string& why);

  private:
    /// The write of both forms; false with the reason when the file does not
    /// hold the document afterwards. `checked` adds the refusals of
    /// writeFileChecked.
    ZEL_INTERNAL bool store(const std::string& fileName, bool checked, std::string& why);
    ZEL_INTERNAL ZEL_XML_RETURN setIn(const QDomNodeList& nodes, const ZEL_XML_ELEMENTS& element,
                                      const std::string& text);
};

/// @}

#endif  // ZEL_ZEL_CONFIG_WRITER_H
