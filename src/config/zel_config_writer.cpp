// ZelConfigWriter: element edits and the write with its backup.
#include "config/zel_config_writer.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

#include "config/config_nodes.h"

using zel::config::fromLatin1;

namespace {

constexpr int kWriteIndent = 4;

// The encoding named by the document's XML declaration, UTF-8 when it has
// none or names one the text stream cannot write.
QStringConverter::Encoding declaredEncoding(const QDomDocument& document) {
    const QDomNode first = document.firstChild();
    if (first.isProcessingInstruction() && first.nodeName() == QLatin1String("xml")) {
        static const QRegularExpression kEncoding(QStringLiteral("encoding\\s*=\\s*[\"']([^\"']+)[\"']"));
        const QRegularExpressionMatch match = kEncoding.match(first.toProcessingInstruction().data());
        if (match.hasMatch()) {
            const auto encoding = QStringConverter::encodingForName(match.captured(1).toLatin1().constData());
            if (encoding) return *encoding;
        }
    }
    return QStringConverter::Utf8;
}

}  // namespace

ZelConfigWriter::ZelConfigWriter() = default;
ZelConfigWriter::~ZelConfigWriter() = default;

ZEL_XML_RETURN ZelConfigWriter::setIn(const QDomNodeList& nodes, const ZEL_XML_ELEMENTS& element,
                                      const std::string& text) {
    if (nodes.isEmpty()) return ZEL_XML_TAG_NOT_FOUND;
    const QString tag = decodeQElementType(element);
    const QString value = fromLatin1(text);
    for (int i = 0; i < nodes.count(); ++i) {
        QDomNode node = nodes.at(i);
        if (!node.isElement() || node.toElement().tagName() != tag) continue;
        if (node.toElement().text() == value) return ZEL_XML_SAME_DATA;
        QDomNode first = node.firstChild();
        if (!first.isNull()) first.setNodeValue(value);
        return ZEL_XML_OK;
    }
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigWriter::setElement(const ZEL_XML_ELEMENTS& element, const std::string& text,
                                           const unsigned short& module) {
    if (loadedDocument() == nullptr) return ZEL_XML_DOM_NOT_CREATED;
    return setIn(getModuleNodeList(module), element, text);
}

ZEL_XML_RETURN ZelConfigWriter::setElement(const ZEL_XML_ELEMENTS& element, const std::string& text,
                                           const unsigned short& module,
                                           const unsigned short& channel) {
    if (loadedDocument() == nullptr) return ZEL_XML_DOM_NOT_CREATED;
    return setIn(getChannelNodeList(module, channel), element, text);
}

ZEL_XML_RETURN ZelConfigWriter::writeFile() { return writeFile(getFilename()); }

ZEL_XML_RETURN ZelConfigWriter::writeFile(const std::string& name) {
    const QDomDocument* document = loadedDocument();
    if (document == nullptr) return ZEL_XML_DOM_NOT_CREATED;
    const QString target = QString::fromLocal8Bit(name.c_str());
    // One backup generation: the file as it was before this write.
    if (QFile::exists(target)) {
        const QString backup = target + QLatin1Char('~');
        QFile::remove(backup);
        QFile::copy(target, backup);
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) return ZEL_XML_OK;
    QTextStream stream(&file);
    stream.setEncoding(declaredEncoding(*document));
    document->save(stream, kWriteIndent, QDomNode::EncodingFromTextStream);
    stream.flush();
    if (stream.status() == QTextStream::Ok) {
        file.commit();
    } else {
        file.cancelWriting();
    }
    return ZEL_XML_OK;
}
