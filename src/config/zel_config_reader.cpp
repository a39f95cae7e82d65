// ZelConfigReader: counts, reads at three levels, listings and the check.
#include "config/zel_config_reader.h"

#include <QDomDocument>
#include <QHash>
#include <QSet>
#include <cctype>
#include <cstdlib>

#include "config/config_nodes.h"
#include "modules/module_identity.h"

using zel::config::fromLatin1;
using zel::config::isContainer;
using zel::config::isLeaf;
using zel::config::toLatin1;
using zel::identity::elementsOf;
using zel::identity::kCalibration;
using zel::identity::kEncoderRecord;
using zel::identity::kExcitation;
using zel::identity::kGain;
using zel::identity::kInterpolation;
using zel::identity::kLineCount;
using zel::identity::kOffset;
using zel::identity::kRotaryFormat;
using zel::identity::kScaledPosition;

namespace {

QString tagOf(ZEL_XML_ELEMENTS element) { return ZelConfigBase::decodeQElementType(element); }

// The identity a "ModuleId" text names: a decimal number with white space
// on either side, else 0. A sign is no part of an identity.
unsigned long identityOf(const std::string& raw) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::size_t first = 0;
    std::size_t last = raw.size();
    while (first < last && space(raw[first])) ++first;
    while (last > first && space(raw[last - 1])) --last;
    const std::string text = raw.substr(first, last - first);
    if (text.empty() || text[0] < '0' || text[0] > '9') return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (*end != '\0' || value > 0xFFFFFFFFUL) return 0;
    return value;
}

std::string listing(const QDomNodeList& nodes) {
    std::string out;
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode node = nodes.at(i);
        if (!isLeaf(node)) continue;
        out +=
            toLatin1(node.toElement().tagName()) + ", " + toLatin1(node.toElement().text()) + "\n";
    }
    return out;
}

}  // namespace

ZelConfigReader::ZelConfigReader() = default;
ZelConfigReader::~ZelConfigReader() = default;

ZEL_XML_RETURN ZelConfigReader::readable() const {
    if (!isLoaded()) return ZEL_XML_DOM_NOT_CREATED;
    if (loadedDocument() == nullptr) return ZEL_XML_DOM_NULL;
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigReader::getNumModules(unsigned short& count) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    const QDomElement root = loadedDocument()->documentElement();
    if (root.isNull()) return ZEL_XML_ROOT_NULL;
    if (root.tagName() != QLatin1String(zel::config::kRootTag)) return ZEL_XML_INVALID_ROOT_TAG;
    count = 0;
    const QDomNodeList children = root.childNodes();
    for (int i = 0; i < children.count(); ++i) {
        if (!isContainer(children.at(i))) continue;
        if (children.at(i).toElement().tagName() != QLatin1String(zel::config::kModuleTag)) {
            return ZEL_XML_INVALID_MODULE_TAG;
        }
        ++count;
    }
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigReader::getNumChannels(const unsigned short& module,
                                               unsigned short& count) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    const QDomElement root = loadedDocument()->documentElement();
    if (root.isNull()) return ZEL_XML_ROOT_NULL;
    if (root.tagName() != QLatin1String(zel::config::kRootTag)) return ZEL_XML_INVALID_ROOT_TAG;
    count = 0;
    unsigned short modules = 0;
    const QDomNodeList children = root.childNodes();
    for (int i = 0; i < children.count(); ++i) {
        const QDomNode node = children.at(i);
        if (!isContainer(node)) continue;
        if (node.toElement().tagName() != QLatin1String(zel::config::kModuleTag)) {
            return ZEL_XML_INVALID_MODULE_TAG;
        }
        if (++modules != module) continue;
        const QDomNodeList inside = node.childNodes();
        for (int j = 0; j < inside.count(); ++j) {
            if (!isContainer(inside.at(j))) continue;
            if (inside.at(j).toElement().tagName() != QLatin1String(zel::config::kChannelTag)) {
                return ZEL_XML_INVALID_CHANNEL_TAG;
            }
            ++count;
        }
    }
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigReader::getElement(const ZEL_XML_ELEMENTS& element, std::string& text) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    const QDomNodeList found = loadedDocument()->elementsByTagName(tagOf(element));
    if (found.isEmpty()) return ZEL_XML_TAG_NOT_FOUND;
    text.clear();
    for (int i = 0; i < found.count(); ++i) {
        if (i > 0) text += '\n';
        text += toLatin1(found.at(i).toElement().text());
    }
    return ZEL_XML_OK;
}

ZEL_XML_RETURN ZelConfigReader::getElement(const ZEL_XML_ELEMENTS& element, std::string& text,
                                           const unsigned short& module) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    const QDomNodeList nodes = getModuleNodeList(module);
    if (nodes.isEmpty()) return ZEL_XML_INVALID_MODULE_LIST;
    text.clear();
    const QString tag = tagOf(element);
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode node = nodes.at(i);
        if (isLeaf(node) && node.toElement().tagName() == tag) {
            text = toLatin1(node.toElement().text());
            return ZEL_XML_OK;
        }
    }
    return ZEL_XML_TAG_NOT_FOUND;
}

ZEL_XML_RETURN ZelConfigReader::getElement(const ZEL_XML_ELEMENTS& element, std::string& text,
                                           const unsigned short& module,
                                           const unsigned short& channel) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    const QDomNodeList nodes = getChannelNodeList(module, channel);
    if (nodes.isEmpty()) return ZEL_XML_INVALID_CHANNEL_LIST;
    text.clear();
    const QString tag = tagOf(element);
    for (int i = 0; i < nodes.count(); ++i) {
        const QDomNode node = nodes.at(i);
        if (node.isElement() && node.toElement().tagName() == tag) {
            text = toLatin1(node.toElement().text());
            return ZEL_XML_OK;
        }
    }
    return ZEL_XML_TAG_NOT_FOUND;
}

std::string ZelConfigReader::getSpecificModule(const unsigned short& module) {
    if (readable() != ZEL_XML_OK) return {};
    return listing(getModuleNodeList(module));
}

std::string ZelConfigReader::getSpecificChannel(const unsigned short& module,
                                                const unsigned short& channel) {
    if (readable() != ZEL_XML_OK) return {};
    return listing(getChannelNodeList(module, channel));
}

ZEL_XML_RETURN ZelConfigReader::getAllElements(std::string& text) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    text = toLatin1(loadedDocument()->toString(1));
    return ZEL_XML_OK;
}

bool ZelConfigReader::isRequiredChannelElement(ZEL_XML_ELEMENTS e, unsigned long id) {
    const unsigned has = elementsOf(static_cast<MODULE_ID>(id));
    switch (e) {
        case ZEL_XML_CHANNEL_LABEL:
        case ZEL_XML_POPULATED:
            return true;
        case ZEL_XML_ERROR_MONITORING:
        case ZEL_XML_DEVICE_TYPE:
        case ZEL_XML_UOM:
        case ZEL_XML_SCALE_FACTOR:
        case ZEL_XML_MASTERING_ENABLED:
        case ZEL_XML_MASTER_DESIRED:
        case ZEL_XML_MASTER_OFFSET:
        case ZEL_XML_MASTER_UOM:
        case ZEL_XML_DISPLAY_RESOLUTION:
        case ZEL_XML_RESOLUTION:
            return (has & kScaledPosition) != 0;
        case ZEL_XML_ROTARY_FORMAT_TYPE:
        case ZEL_XML_ERROR_COMPENSATION:
        case ZEL_XML_COUNTING_DIRECTION:
            return (has & kRotaryFormat) != 0;
        case ZEL_XML_OFFSET:
            return (has & kOffset) != 0;
        case ZEL_XML_DISTINGUISHABLE_REVOLUTIONS:
        case ZEL_XML_ENCODER_NAME:
        case ZEL_XML_ENCODER_ID:
        case ZEL_XML_CHANNEL_SERIAL_NUMBER:
            return (has & kEncoderRecord) != 0;
        case ZEL_XML_LINE_COUNT:
        case ZEL_XML_SIGNAL_PERIOD:
        case ZEL_XML_REFERENCE_MARK:
            return (has & kLineCount) != 0;
        case ZEL_XML_INSTRUMENTATION_MIN:
        case ZEL_XML_INSTRUMENTATION_MAX:
        case ZEL_XML_ACTUAL_MIN:
        case ZEL_XML_ACTUAL_MAX:
        case ZEL_XML_CALIBRATION_TIMESTAMP:
        case ZEL_XML_RECALIBRATION_TIMER:
            return (has & kCalibration) != 0;
        case ZEL_XML_GAIN_CODE:
            return (has & kGain) != 0;
        case ZEL_XML_INTERPOLATION:
            return (has & kInterpolation) != 0;
        default:
            return false;  // 123 and 132 are never required
    }
}

namespace {

// What the check needs of one module or channel, gathered in one walk: the
// text of the first leaf of each tag, and the tags of all its elements.
struct Gathered {
    QHash<QString, QString> leafText;
    QSet<QString> elementTags;
};

// The first container at or after `node`, null when there is none.
QDomNode nextContainer(QDomNode node) {
    while (!node.isNull() && !isContainer(node)) node = node.nextSibling();
    return node;
}

Gathered gather(const QDomElement& parent) {
    Gathered g;
    for (QDomNode node = parent.firstChild(); !node.isNull(); node = node.nextSibling()) {
        if (!node.isElement()) continue;
        const QDomElement element = node.toElement();
        g.elementTags.insert(element.tagName());
        if (isLeaf(node) && !g.leafText.contains(element.tagName())) {
            g.leafText.insert(element.tagName(), element.text());
        }
    }
    return g;
}

}  // namespace

// The check gives the results of reading every required element one by one
// (module-level reads want a leaf, channel-level reads any element), but
// walks each module and channel once instead of once per element.
ZEL_XML_RETURN ZelConfigReader::validateElements(ZEL_XML_ELEMENTS& element, unsigned short& module,
                                                 unsigned short& channel) {
    if (const ZEL_XML_RETURN r = readable(); r != ZEL_XML_OK) return r;
    module = 0;
    channel = 0;
    unsigned short modules = 0;
    if (const ZEL_XML_RETURN r = getNumModules(modules); r != ZEL_XML_OK) return r;
    std::string text;
    element = ZEL_XML_BASE_LABEL;
    if (const ZEL_XML_RETURN r = getElement(element, text); r != ZEL_XML_OK) return r;
    for (unsigned short m = 1; m <= modules && m != 0; ++m) {
        module = m;
        const QDomElement found = moduleElement(m);
        const Gathered leaves = gather(found);
        unsigned long id = 0;
        auto readLeaf = [&](ZEL_XML_ELEMENTS e) {
            element = e;
            if (found.isNull()) return ZEL_XML_INVALID_MODULE_LIST;
            const auto leaf = leaves.leafText.constFind(tagOf(e));
            if (leaf == leaves.leafText.constEnd()) return ZEL_XML_TAG_NOT_FOUND;
            if (e == ZEL_XML_MODULE_ID) id = identityOf(toLatin1(*leaf));
            return ZEL_XML_OK;
        };
        for (int e = ZEL_XML_SERIAL_NUMBER; e <= ZEL_XML_ACTIVE; ++e) {
            if (const ZEL_XML_RETURN r = readLeaf(static_cast<ZEL_XML_ELEMENTS>(e));
                r != ZEL_XML_OK) {
                return r;
            }
        }
        if ((elementsOf(static_cast<MODULE_ID>(id)) & kExcitation) != 0) {
            for (ZEL_XML_ELEMENTS e :
                 {ZEL_XML_PRIMARY_EXCITATION_VOLTAGE, ZEL_XML_PRIMARY_EXCITATION_FREQUENCY}) {
                if (const ZEL_XML_RETURN r = readLeaf(e); r != ZEL_XML_OK) return r;
            }
        }
        unsigned short channels = 0;
        if (const ZEL_XML_RETURN r = getNumChannels(m, channels); r != ZEL_XML_OK) return r;
        // Channel c is the module's c-th container, taken in turn.
        QDomNode container = found.isNull() ? QDomNode() : nextContainer(found.firstChild());
        for (unsigned short c = 1; c <= channels && c != 0; ++c) {
            channel = c;
            if (c > 1 && !container.isNull()) container = nextContainer(container.nextSibling());
            const bool present = !container.isNull();
            const Gathered inside = present ? gather(container.toElement()) : Gathered{};
            for (int e = ZEL_XML_CHANNEL_LABEL; e <= ZEL_XML_SIGNAL_TYPE; ++e) {
                element = static_cast<ZEL_XML_ELEMENTS>(e);
                if (!isRequiredChannelElement(element, id)) continue;
                if (!present) return ZEL_XML_INVALID_CHANNEL_LIST;
                if (!inside.elementTags.contains(tagOf(element))) return ZEL_XML_TAG_NOT_FOUND;
            }
        }
    }
    return ZEL_XML_OK;
}
