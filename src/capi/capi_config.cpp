// The flat C interface: the configuration-file family. Results are
// ZEL_XML_RETURN codes (16 for a null pointer). Every wrapper reads into
// locals and copies out only as its rule says, so a failed read leaves the
// host's buffer and count as they were.
#include <cstring>
#include <new>
#include <string>

#include "capi/capi_support.h"

using zel::capi::copyBounded;
using zel::capi::guarded;

namespace {

ZelConfigWriter* config(ZelConfigHandle h) { return reinterpret_cast<ZelConfigWriter*>(h); }

// What a function of the family returns when the C++ side threw (memory
// exhausted while the document or a text was built).
constexpr int kFailed = ZEL_XML_DOM_CREATE_FAILED;

int copyText(char* text, const std::string& value) {
    std::memcpy(text, value.c_str(), value.size() + 1);
    return ZEL_XML_OK;
}

// The read's code; the text is copied only when it is 0.
int copyOnSuccess(ZEL_XML_RETURN r, char* text, const std::string& value) {
    if (r == ZEL_XML_OK) copyText(text, value);
    return r;
}

}  // namespace

extern "C" {

ZelConfigHandle ZEL_CALL ZelConfigFileCreate(void) {
    return guarded<ZelConfigHandle>(nullptr, [&]() -> ZelConfigHandle {
        return reinterpret_cast<ZelConfigHandle>(new (std::nothrow) ZelConfigWriter);
    });
}

void ZEL_CALL ZelConfigFileDelete(ZelConfigHandle h) { delete config(h); }

int ZEL_CALL ZelConfigFileLoadXml(ZelConfigHandle h, const char* name) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || name == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->loadXml(name);
    });
}

int ZEL_CALL ZelConfigFileReloadXml(ZelConfigHandle h) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->reloadXml();
    });
}

int ZEL_CALL ZelConfigFileGetFilename(ZelConfigHandle h, char* text) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        return copyText(text, config(h)->getFilename());
    });
}

int ZEL_CALL ZelConfigFileGetNumModules(ZelConfigHandle h, unsigned short* count) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || count == nullptr) return ZEL_XML_NULL_POINTER;
        unsigned short local = 0;
        const ZEL_XML_RETURN r = config(h)->getNumModules(local);
        if (r == ZEL_XML_OK) *count = local;
        return r;
    });
}

int ZEL_CALL ZelConfigFileGetNumChannels(ZelConfigHandle h, unsigned short module,
                                         unsigned short* count) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || count == nullptr) return ZEL_XML_NULL_POINTER;
        unsigned short local = 0;
        const ZEL_XML_RETURN r = config(h)->getNumChannels(module, local);
        if (r == ZEL_XML_OK) *count = local;
        return r;
    });
}

int ZEL_CALL ZelConfigFileGetElement(ZelConfigHandle h, char* text, ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        std::string local;
        return copyOnSuccess(config(h)->getElement(element, local), text, local);
    });
}

int ZEL_CALL ZelConfigFileGetModuleElement(ZelConfigHandle h, char* text, unsigned short module,
                                           ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        std::string local;
        return copyOnSuccess(config(h)->getElement(element, local, module), text, local);
    });
}

int ZEL_CALL ZelConfigFileGetChannelElement(ZelConfigHandle h, char* text, unsigned short module,
                                            unsigned short channel, ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        std::string local;
        return copyOnSuccess(config(h)->getElement(element, local, module, channel), text, local);
    });
}

int ZEL_CALL ZelConfigFileGetSpecificModule(ZelConfigHandle h, char* text, unsigned short module) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        return copyText(text, config(h)->getSpecificModule(module));
    });
}

int ZEL_CALL ZelConfigFileGetSpecificChannel(ZelConfigHandle h, char* text, unsigned short module,
                                             unsigned short channel) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        return copyText(text, config(h)->getSpecificChannel(module, channel));
    });
}

int ZEL_CALL ZelConfigFileGetAllElements(ZelConfigHandle h, char* text) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        std::string local;
        return copyOnSuccess(config(h)->getAllElements(local), text, local);
    });
}

int ZEL_CALL ZelConfigFileValidateElements(ZelConfigHandle h, ZEL_XML_ELEMENTS* element,
                                           unsigned short* module, unsigned short* channel) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || element == nullptr || module == nullptr || channel == nullptr) {
            return ZEL_XML_NULL_POINTER;
        }
        ZEL_XML_ELEMENTS e = ZEL_XML_BASE_LABEL;
        unsigned short m = 0;
        unsigned short c = 0;
        const ZEL_XML_RETURN r = config(h)->validateElements(e, m, c);
        *element = e;
        *module = m;
        *channel = c;
        return r;
    });
}

int ZEL_CALL ZelConfigFileSetModuleElement(ZelConfigHandle h, const char* value,
                                           unsigned short module, ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || value == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->setElement(element, value, module);
    });
}

int ZEL_CALL ZelConfigFileSetChannelElement(ZelConfigHandle h, const char* value,
                                            unsigned short module, unsigned short channel,
                                            ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || value == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->setElement(element, value, module, channel);
    });
}

int ZEL_CALL ZelConfigFileRemoveModule(ZelConfigHandle h, unsigned short module) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr) return ZEL_XML_NULL_POINTER;
        config(h)->removeSpecificModuleNode(module);
        return ZEL_XML_OK;
    });
}

int ZEL_CALL ZelConfigFileWriteFile(ZelConfigHandle h) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->writeFile();
    });
}

int ZEL_CALL ZelConfigFileWriteNewFile(ZelConfigHandle h, const char* name) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || name == nullptr) return ZEL_XML_NULL_POINTER;
        return config(h)->writeFile(name);
    });
}

int ZEL_CALL ZelConfigFileWriteFileChecked(ZelConfigHandle h, char* why, unsigned long size) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || (why == nullptr && size != 0)) return ZEL_XML_NULL_POINTER;
        std::string reason;
        const int r = config(h)->writeFileChecked(reason);
        copyBounded(why, size, reason);
        return r;
    });
}

int ZEL_CALL ZelConfigFileWriteNewFileChecked(ZelConfigHandle h, const char* name, char* why,
                                              unsigned long size) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || name == nullptr || (why == nullptr && size != 0)) {
            return ZEL_XML_NULL_POINTER;
        }
        std::string reason;
        const int r = config(h)->writeFileChecked(name, reason);
        copyBounded(why, size, reason);
        return r;
    });
}

int ZEL_CALL ZelConfigFileDecodeErrorType(ZelConfigHandle h, char* text, ZEL_XML_RETURN code) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        return copyText(text, ZelConfigBase::decodeErrorType(code));
    });
}

int ZEL_CALL ZelConfigFileDecodeElementType(ZelConfigHandle h, char* text,
                                            ZEL_XML_ELEMENTS element) {
    return guarded<int>(kFailed, [&]() -> int {
        if (h == nullptr || text == nullptr) return ZEL_XML_NULL_POINTER;
        return copyText(text, ZelConfigBase::decodeElementType(element));
    });
}

}  // extern "C"
