// ZelConfigWriter: element edits and the write with its backup.
#include "config/zel_config_writer.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
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

// The document as text, indented by four blanks. Qt would look the declared
// encoding up for a stream that only collects text, and warn on the console
// about a name it does not know; the declaration is therefore serialised
// without it and put back as the file had it.
QString serialise(const QDomDocument& document) {
    QDomProcessingInstruction declaration = document.firstChild().toProcessingInstruction();
    if (declaration.isNull() || declaration.target() != QLatin1String("xml")) {
        return document.toString(kWriteIndent);
    }
    const QString data = declaration.data();
    declaration.setData(QStringLiteral("version='1.0'"));
    QString text;
    try {
        text = document.toString(kWriteIndent);
    } catch (...) {
        declaration.setData(data);
        throw;
    }
    declaration.setData(data);
    const qsizetype end = text.indexOf(QLatin1String("?>"));
    if (text.startsWith(QLatin1String("<?xml")) && end > 0) {
        // Qt keeps the declaration in single quotes; it is written in double
        // quotes, as files of this kind have it (its values hold no quote).
        QString original = data;
        original.replace(QLatin1Char('\''), QLatin1Char('"'));
        text.replace(0, end, QLatin1String("<?xml ") + original);
    }
    return text;
}

// Text of a message: in the system's 8-bit encoding, as file names are.
std::string local(const QString& text) { return text.toLocal8Bit().toStdString(); }

// Where an element stands, for a message: "Label of module 2, channel 1".
std::string placeOf(const QDomElement& element) {
    std::string where = local(element.tagName());
    QDomNode channel;
    QDomNode module = element.parentNode();
    if (!module.isNull() &&
        module.toElement().tagName() != QLatin1String(zel::config::kModuleTag)) {
        channel = module;
        module = module.parentNode();
    }
    if (module.isNull() || !module.isElement() || module.parentNode().isDocument()) return where;
    int position = 0;
    for (QDomNode n = module.previousSibling(); !n.isNull(); n = n.previousSibling()) ++position;
    where += " of module " + std::to_string(position);
    if (!channel.isNull()) {
        int number = 1;
        for (QDomNode n = channel.previousSibling(); !n.isNull(); n = n.previousSibling()) {
            if (zel::config::isContainer(n)) ++number;
        }
        where += ", channel " + std::to_string(number);
    }
    return where;
}

// The first element whose only child is a text of nothing but blanks (an
// edit left it so; a loaded file never holds one), as placeOf says it;
// empty when there is none.
std::string blankElement(const QDomDocument& document) {
    // Depth first, without recursion and without Qt's live node lists.
    QDomNode node = document.documentElement();
    while (!node.isNull()) {
        const QDomNode first = node.firstChild();
        if (node.isElement() && !first.isNull() && first.nextSibling().isNull() && first.isText() &&
            !first.isCDATASection() && first.nodeValue().trimmed().isEmpty()) {
            return placeOf(node.toElement());
        }
        if (!first.isNull()) {
            node = first;
            continue;
        }
        while (!node.isNull() && node.nextSibling().isNull()) node = node.parentNode();
        if (!node.isNull()) node = node.nextSibling();
    }
    return {};
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
    if (loadedDocument() == nullptr) return ZEL_XML_DOM_NOT_CREATED;
    std::string why;
    store(name, false, why);
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigWriter::writeFileChecked(std::string& why) {
    return writeFileChecked(getFilename(), why);
}

ZEL_XML_RETURN ZelConfigWriter::writeFileChecked(const std::string& name, std::string& why) {
    why.clear();
    if (loadedDocument() == nullptr) {
        why = "no document is loaded";
        return ZEL_XML_DOM_NOT_CREATED;
    }
    return store(name, true, why) ? ZEL_XML_OK : ZEL_XML_INVALID_FILE;
}

bool ZelConfigWriter::store(const std::string& name, bool checked, std::string& why) {
    const QDomDocument* document = loadedDocument();
    if (name.empty()) {
        why = "no file name was given; nothing was written";
        return false;
    }
    const QString target = QString::fromLocal8Bit(name.c_str());
    const std::string untouched = "; nothing was written, " + name + " is as it was";
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
    if (!encoder.isValid()) {
        why = "the file declares the encoding " + local(encoding) +
              ", which this system cannot write" + untouched;
        return false;
    }
    if (checked) {
        if (const std::string blank = blankElement(*document); !blank.empty()) {
            why = blank +
                  " would be written empty (text of only blanks is dropped when the file is "
                  "read), and the file would then fail its check" +
                  untouched;
            return false;
        }
    }
    Repertoire repertoire(encoding);
    QString text;
    if (!referenceUnheldCharacters(serialise(*document), repertoire, &text)) {
        why = "a character the encoding " + local(encoding) +
              " cannot hold stands where no character reference may (a name, a comment, a "
              "CDATA section)" +
              untouched;
        return false;
    }
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) {
        why = "the document cannot be encoded in " + local(encoding) + untouched;
        return false;
    }

    if (QFileInfo(target).isDir()) {
        why = name + " is a folder" + untouched;
        return false;
    }
    // One backup generation: the file as it was before this write.
    const bool existed = QFile::exists(target);
    const std::string backupName = name + "~";
    if (existed) {
        const QString backup = target + QLatin1Char('~');
        QFile::remove(backup);
        QFile original(target);
        if (!original.copy(backup) && checked) {
            why = "the previous version could not be kept as " + backupName + " (" +
                  local(original.errorString()) + ")" + untouched;
            return false;
        }
    }
    const std::string previous = existed ? "; the previous version is kept in " + backupName
                                         : "; no file of that name existed before";
    QSaveFile file(target);
    // A file that may be written in a folder that may not: written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        why = name + " cannot be written (" + local(file.errorString()) + ")" + untouched;
        return false;
    }
    // Qt holds small writes in a buffer and ignores a failure of flushing it
    // in commit(): a full disk would then leave a file cut short. The
    // flush is therefore checked here.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        why = "writing " + name + " failed (" + local(file.errorString()) + ")" + previous;
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        why = "storing " + name + " failed (" + local(file.errorString()) + ")" + previous;
        return false;
    }
    return true;
}
