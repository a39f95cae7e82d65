// ZelConfigWriter: element edits and the write with its backup.
#include "config/zel_config_writer.h"

#include <QDomDocument>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QStringConverter>

#include "config/config_nodes.h"

using zel::config::fromLatin1;

namespace {

constexpr int kWriteIndent = 4;

// The encoding named by the document's XML declaration ("UTF-8" when there
// is none), read without a regular expression: encoding = "name" or 'name'.
QString declaredEncoding(const QDomDocument& document) {
    const QDomNode first = document.firstChild();
    if (!first.isProcessingInstruction() || first.nodeName() != QLatin1String("xml")) {
        return QStringLiteral("UTF-8");
    }
    const QString data = first.toProcessingInstruction().data();
    qsizetype at = data.indexOf(QLatin1String("encoding"));
    if (at < 0) return QStringLiteral("UTF-8");
    at += 8;
    auto skipBlanks = [&data](qsizetype i) {
        while (i < data.size() && data.at(i).isSpace()) ++i;
        return i;
    };
    at = skipBlanks(at);
    if (at >= data.size() || data.at(at) != QLatin1Char('=')) return QStringLiteral("UTF-8");
    at = skipBlanks(at + 1);
    if (at >= data.size() ||
        (data.at(at) != QLatin1Char('"') && data.at(at) != QLatin1Char('\''))) {
        return QStringLiteral("UTF-8");
    }
    const qsizetype end = data.indexOf(data.at(at), at + 1);
    if (end < 0) return QStringLiteral("UTF-8");
    return data.mid(at + 1, end - at - 1);
}

bool isUnicodeEncoding(const QString& name) {
    return name.startsWith(QLatin1String("UTF-"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("UTF8"), Qt::CaseInsensitive);
}

// Whether the encoding holds a code point: it survives the way there and back.
class Repertoire {
  public:
    explicit Repertoire(const QString& encoding)
        : name(encoding.toLatin1()), everything(isUnicodeEncoding(encoding)) {}
    bool holds(char32_t c) {
        if (everything || c < 0x80) return true;
        const auto known = seen.constFind(c);
        if (known != seen.constEnd()) return *known;
        QStringEncoder encoder(name.constData(), QStringConverter::Flag::Stateless);
        QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
        const QString one = QString::fromUcs4(&c, 1);
        const QByteArray bytes = encoder.encode(one);
        const bool ok = !encoder.hasError() && QString(decoder.decode(bytes)) == one;
        seen.insert(c, ok);
        return ok;
    }

  private:
    QByteArray name;
    bool everything;
    QHash<char32_t, bool> seen;
};

// Replaces the characters of a serialised document that the encoding cannot
// hold by numeric character references ("&#xE9;"). That is possible in
// text and attribute values only; false when such a character stands in a
// name, a comment, a processing instruction, a CDATA section or the
// document type, where it could only be lost.
bool referenceUnheldCharacters(const QString& xml, Repertoire& repertoire, QString* out) {
    enum class Context { Text, Tag, Value, Closed };
    Context context = Context::Text;
    QChar quote;
    QString closing;  // the end of a comment, PI, CDATA or DOCTYPE
    out->clear();
    out->reserve(xml.size());
    for (qsizetype i = 0; i < xml.size();) {
        const QChar ch = xml.at(i);
        char32_t c = ch.unicode();
        qsizetype width = 1;
        if (ch.isHighSurrogate() && i + 1 < xml.size() && xml.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(ch, xml.at(i + 1));
            width = 2;
        }
        if (context == Context::Closed) {
            if (xml.mid(i, closing.size()) == closing) {
                out->append(closing);
                i += closing.size();
                context = Context::Text;
                continue;
            }
        } else if (context == Context::Text && ch == QLatin1Char('<')) {
            const QStringView rest = QStringView(xml).mid(i);
            if (rest.startsWith(QLatin1String("<!--"))) {
                closing = QStringLiteral("-->");
                context = Context::Closed;
            } else if (rest.startsWith(QLatin1String("<?"))) {
                closing = QStringLiteral("?>");
                context = Context::Closed;
            } else if (rest.startsWith(QLatin1String("<![CDATA["))) {
                closing = QStringLiteral("]]>");
                context = Context::Closed;
            } else if (rest.startsWith(QLatin1String("<!"))) {
                // The document type ends at the first '>' after its internal
                // subset, if it has one.
                const qsizetype subset = rest.indexOf(QLatin1Char('['));
                const qsizetype gt = rest.indexOf(QLatin1Char('>'));
                closing = subset >= 0 && (gt < 0 || subset < gt) ? QStringLiteral("]>")
                                                                 : QStringLiteral(">");
                context = Context::Closed;
            } else {
                context = Context::Tag;
            }
        } else if (context == Context::Tag) {
            if (ch == QLatin1Char('>')) {
                context = Context::Text;
            } else if (ch == QLatin1Char('"') || ch == QLatin1Char('\'')) {
                quote = ch;
                context = Context::Value;
            }
        } else if (context == Context::Value && ch == quote) {
            context = Context::Tag;
        }
        if (repertoire.holds(c)) {
            out->append(xml.mid(i, width));
        } else if (context == Context::Text || context == Context::Value) {
            out->append(QLatin1String("&#x") + QString::number(static_cast<uint>(c), 16).toUpper() +
                        QLatin1Char(';'));
        } else {
            return false;
        }
        i += width;
    }
    return true;
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
    // The whole content first, in the declared encoding: an encoding the
    // system cannot write, or a character it cannot hold where no character
    // reference may stand, refuses the write before any file is touched.
    const QString encoding = declaredEncoding(*document);
    // UTF-16 and UTF-32 without a stated byte order need their byte-order
    // mark, or no reader can tell the order.
    const bool needsBom = (encoding.startsWith(QLatin1String("UTF-16"), Qt::CaseInsensitive) ||
                           encoding.startsWith(QLatin1String("UTF-32"), Qt::CaseInsensitive)) &&
                          !encoding.endsWith(QLatin1String("LE"), Qt::CaseInsensitive) &&
                          !encoding.endsWith(QLatin1String("BE"), Qt::CaseInsensitive);
    QStringEncoder encoder(encoding.toLatin1().constData(), needsBom
                                                                ? QStringConverter::Flag::WriteBom
                                                                : QStringConverter::Flag::Default);
    if (!encoder.isValid()) return ZEL_XML_INVALID_FILE;
    Repertoire repertoire(encoding);
    QString serialised = document->toString(kWriteIndent);
    // Qt keeps the declaration in single quotes; it is written in double
    // quotes, as files of this kind have it (its values hold no quote).
    if (serialised.startsWith(QLatin1String("<?xml"))) {
        const qsizetype end = serialised.indexOf(QLatin1String("?>"));
        for (qsizetype i = 0; i < end; ++i) {
            if (serialised.at(i) == QLatin1Char('\'')) serialised[i] = QLatin1Char('"');
        }
    }
    QString text;
    if (!referenceUnheldCharacters(serialised, repertoire, &text)) {
        return ZEL_XML_INVALID_FILE;
    }
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) return ZEL_XML_INVALID_FILE;

    const QString target = QString::fromLocal8Bit(name.c_str());
    // One backup generation: the file as it was before this write.
    if (QFile::exists(target)) {
        const QString backup = target + QLatin1Char('~');
        QFile::remove(backup);
        QFile::copy(target, backup);
    }
    QSaveFile file(target);
    // A file that may be written in a folder that may not: written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return ZEL_XML_OK;
    if (file.write(bytes) == bytes.size()) {
        file.commit();
    } else {
        file.cancelWriting();
    }
    return ZEL_XML_OK;
}
