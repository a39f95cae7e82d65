// The result value and the message table of the response codes.
#include "foundation/zel_results.h"

#include <cstring>

namespace {

struct CodeMessage {
    int code;
    const char* text;
};

constexpr CodeMessage kMessages[] = {
#define ZEL_RESPONSE_CODE_MESSAGE(name, value, text) {value, text},
    ZEL_RESPONSE_CODE_TABLE(ZEL_RESPONSE_CODE_MESSAGE)
#undef ZEL_RESPONSE_CODE_MESSAGE
};

// The table is indexed by code, so it must hold every code in order.
constexpr bool messagesInOrder() {
    for (unsigned i = 0; i < sizeof(kMessages) / sizeof(kMessages[0]); ++i) {
        if (kMessages[i].code != static_cast<int>(i)) return false;
    }
    return true;
}
static_assert(messagesInOrder(), "response codes must be consecutive from 0");
static_assert(sizeof(kMessages) / sizeof(kMessages[0]) == 44, "there are 44 response codes");

constexpr char kUnknown[] = "Unknown";

void copyMethod(char (&destination)[ZelResults::kMethodCapacity], const char* source) {
    std::strncpy(destination, source, ZelResults::kMethodCapacity - 1);
    destination[ZelResults::kMethodCapacity - 1] = '\0';
}

}  // namespace

ZelResults::ZelResults() : code_(ZEL_OK), method_{}, line_(0) {}

ZelResults::ZelResults(ZEL_RESPONSE_CODE code, const char* method, unsigned long line)
    : code_(code), method_{}, line_(line) {
    if (method != nullptr) copyMethod(method_, method);
}

ZEL_RESPONSE_CODE ZelResults::getCode() { return code_; }

char* ZelResults::getMethod() { return method_; }

unsigned long ZelResults::getLine() { return line_; }

void ZelResults::setCode(ZEL_RESPONSE_CODE code) { code_ = code; }

void ZelResults::setMethod(const char* method) {
    if (method == nullptr) return;
    std::memset(method_, 0, sizeof(method_));
    copyMethod(method_, method);
}

void ZelResults::setLine(const unsigned long* line) {
    if (line != nullptr) line_ = *line;
}

void ZelResults::set(const ZEL_RESPONSE_CODE* code, const char* method, const unsigned long* line) {
    if (code == nullptr || method == nullptr || line == nullptr) return;
    code_ = *code;
    setMethod(method);
    line_ = *line;
}

char* ZelResults::showRespCode(ZEL_RESPONSE_CODE code) {
    // The texts are constant; the signature returns char* as hosts expect.
    const int value = static_cast<int>(code);
    if (value < 0 || value >= static_cast<int>(sizeof(kMessages) / sizeof(kMessages[0]))) {
        return const_cast<char*>(kUnknown);
    }
    return const_cast<char*>(kMessages[value].text);
}
