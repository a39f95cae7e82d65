// Internal helpers of the configuration classes: the tags of the document's
// frame and the leaf/container rule.
#ifndef ZEL_CONFIG_NODES_H
#define ZEL_CONFIG_NODES_H

#include <QDomNode>
#include <QString>
#include <string>

namespace zel::config {

constexpr char kRootTag[] = "ModuleConfig";
constexpr char kModuleTag[] = "Module";
constexpr char kChannelTag[] = "Channel";

// An element with more than one child node: a module or a channel. (Told
// by the first two children, without building the list of all of them.)
inline bool isContainer(const QDomNode& node) {
    return node.isElement() && !node.firstChild().isNull() &&
           !node.firstChild().nextSibling().isNull();
}
// An element with exactly one child node: a value.
inline bool isLeaf(const QDomNode& node) {
    return node.isElement() && !node.firstChild().isNull() &&
           node.firstChild().nextSibling().isNull();
}

// Texts cross the interface one byte per character.
inline std::string toLatin1(const QString& text) { return text.toLatin1().toStdString(); }
inline QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zel::config

#endif  // ZEL_CONFIG_NODES_H
