// ZelConfigBase: loading, the module and channel walks, the conversions.
#include "config/zel_config_base.h"

#include <QDomDocument>
#include <QFile>
#include <QXmlStreamReader>

#include "config/config_nodes.h"

namespace {

constexpr char kDoctype[] = "myDoc";

std::unique_ptr<QDomDocument> emptyDocument() {
    return std::make_unique<QDomDocument>(QString::fromLatin1(kDoctype));
}

// A configuration nests four levels (file, module list, module, channel and
// their elements); Qt's document builder and writer recurse once per level
// and slow down with the square of the depth, so a document deeper than
// this is refused before Qt builds it.
constexpr int kMaxDepth = 64;

// False when an element lies deeper than kMaxDepth. The stream reader keeps
// no recursion of its own; a document it cannot read is left to the builder,
// which reports it.
bool withinDepth(const QByteArray& content) {
    QXmlStreamReader reader(content);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                if (++depth > kMaxDepth) return false;
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                break;
            default:
                break;
        }
    }
    return true;
}

}  // namespace

ZelConfigBase::ZelConfigBase() : document(emptyDocument()), loaded(false) {}

ZelConfigBase::~ZelConfigBase() {
    loaded = false;
    document.reset();
}

ZEL_XML_RETURN ZelConfigBase::loadXml(const std::string& name) {
    fileName = name;
    // An empty name names no file (and Qt would warn about it on the console).
    if (name.empty()) return ZEL_XML_INVALID_FILE;
    QFile file(QString::fromLocal8Bit(name.c_str()));
    if (!file.open(QIODevice::ReadOnly)) return ZEL_XML_INVALID_FILE;
    // Parsed into a tree of its own: a file that fails to parse leaves the
    // tree loaded before whole, so a later write never stores half a file.
    const QByteArray content = file.readAll();
    const bool read = file.error() == QFileDevice::NoError;
    file.close();
    if (!read) return ZEL_XML_INVALID_FILE;
    if (!withinDepth(content)) return ZEL_XML_DOM_CREATE_FAILED;
    auto parsed = emptyDocument();
    if (!parsed->setContent(content, false)) return ZEL_XML_DOM_CREATE_FAILED;
    document = std::move(parsed);
    loaded = true;
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigBase::reloadXml() {
    loaded = false;
    document = emptyDocument();
    return loadXml(fileName);
}

std::string ZelConfigBase::getFilename() { return fileName; }

QDomDocument* ZelConfigBase::loadedDocument() const { return loaded ? document.get() : nullptr; }

namespace {

// The root's container at position n, walking every child node; a
// container that is not a "Module" ends the walk.
QDomElement moduleAt(const QDomDocument* document, unsigned short n) {
    if (document == nullptr) return {};
    const QDomElement root = document->documentElement();
    if (root.isNull() || root.tagName() != QLatin1String(zel::config::kRootTag)) return {};
    int position = 0;
    for (QDomNode node = root.firstChild(); !node.isNull(); node = node.nextSibling(), ++position) {
        if (!zel::config::isContainer(node)) continue;
        if (node.toElement().tagName() != QLatin1String(zel::config::kModuleTag)) return {};
        if (position == n) return node.toElement();
    }
    return {};
}

}  // namespace

QDomElement ZelConfigBase::moduleElement(const unsigned short& module) const {
    return moduleAt(loadedDocument(), module);
}

QDomNodeList ZelConfigBase::getModuleNodeList(const unsigned short& module) const {
    const QDomElement element = moduleAt(loadedDocument(), module);
    return element.isNull() ? QDomNodeList() : element.childNodes();
}

QDomNodeList ZelConfigBase::getChannelNodeList(const unsigned short& module,
                                               const unsigned short& channel) const {
    const QDomElement element = moduleAt(loadedDocument(), module);
    int counted = 0;
    for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (!zel::config::isContainer(node)) continue;
        if (++counted == channel) return node.childNodes();
    }
    return {};
}

void ZelConfigBase::removeSpecificModuleNode(const unsigned short& module) {
    QDomElement element = moduleAt(loadedDocument(), module);
    if (!element.isNull()) element.parentNode().removeChild(element);
}

// ---- Conversions ----------------------------------------------------------------

std::string ZelConfigBase::decodeElementType(const ZEL_XML_ELEMENTS& element) {
    switch (element) {
#define ZEL_XML_ELEMENT_TAG(name, value, tag) \
    case name:                                \
        return tag;
        ZEL_XML_ELEMENT_TABLE(ZEL_XML_ELEMENT_TAG)
#undef ZEL_XML_ELEMENT_TAG
        default:
            return "Unknown";
    }
}

QString ZelConfigBase::decodeQElementType(const ZEL_XML_ELEMENTS& element) {
    return QString::fromLatin1(decodeElementType(element).c_str());
}

ZEL_XML_ELEMENTS ZelConfigBase::encodeQElementType(const QString& tag) {
#define ZEL_XML_ELEMENT_MATCH(name, value, text) \
    if ((name) != ZEL_XML_CHANNEL_UNUSED_1 && tag == QLatin1String(text)) return name;
    ZEL_XML_ELEMENT_TABLE(ZEL_XML_ELEMENT_MATCH)
#undef ZEL_XML_ELEMENT_MATCH
    return ZEL_XML_UNKNOWN_ELEMENT;
}

std::string ZelConfigBase::decodeErrorType(const ZEL_XML_RETURN& code) {
    switch (code) {
#define ZEL_XML_RETURN_TEXT(name, value, text) \
    case name:                                 \
        return text;
        ZEL_XML_RETURN_TABLE(ZEL_XML_RETURN_TEXT)
#undef ZEL_XML_RETURN_TEXT
        default:
            return "Ok";
    }
}
