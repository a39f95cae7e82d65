// Nothing the C++ side throws reaches a C host. This program replaces the
// global operator new so that a test can make every allocation fail, the way
// an exhausted heap does, around one call at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "capi/zel_capi.h"

namespace {
std::atomic<bool> heapExhausted{false};
}  // namespace

// Every form of new and delete, so that all of them (the sanitizers' own
// included) allocate and free alike.
void* operator new(std::size_t size) {
    if (heapExhausted.load()) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return heapExhausted.load() ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// Runs `call` with every allocation failing and gives back its result.
template <typename Call>
auto withExhaustedHeap(Call call) {
    heapExhausted = true;
    auto result = call();
    heapExhausted = false;
    return result;
}

std::string sample(const char* name) { return std::string(ZEL_EXAMPLES_DIR) + "/config/" + name; }

TEST(CInterfaceWithAnExhaustedHeap, CreatesGiveNullAndCallsGiveTheirFamilysFailure) {
    EXPECT_EQ(withExhaustedHeap([] { return ZelConfigFileCreate(); }), nullptr);
    EXPECT_EQ(withExhaustedHeap([] { return ZelKalixModuleCreate(); }), nullptr);
    EXPECT_EQ(withExhaustedHeap([] { return ZelModuleCreate(); }), nullptr);

    ZelConfigHandle config = ZelConfigFileCreate();
    ASSERT_NE(config, nullptr);
    const std::string chain = sample("chain.xml");
    EXPECT_EQ(withExhaustedHeap([&] { return ZelConfigFileLoadXml(config, chain.c_str()); }),
              ZEL_XML_DOM_CREATE_FAILED);
    // The object stays usable once memory is back.
    ASSERT_EQ(ZelConfigFileLoadXml(config, chain.c_str()), ZEL_XML_OK);
    static char text[65536];
    std::strcpy(text, "untouched");
    EXPECT_EQ(withExhaustedHeap([&] { return ZelConfigFileGetAllElements(config, text); }),
              ZEL_XML_DOM_CREATE_FAILED);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(withExhaustedHeap(
                  [&] { return ZelConfigFileGetModuleElement(config, text, 1, ZEL_XML_LABEL); }),
              ZEL_XML_DOM_CREATE_FAILED);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(ZelConfigFileGetModuleElement(config, text, 1, ZEL_XML_LABEL), ZEL_XML_OK);
    ZelConfigFileDelete(config);

    ZelModuleHandle module = ZelModuleCreate();
    ASSERT_NE(module, nullptr);
    short count = -1;
    char ips[1024] = "", masks[1024] = "";
    unsigned short ports[64] = {};
    EXPECT_EQ(withExhaustedHeap([&] {
                  return ZelModuleBroadcast(module, "127.0.0.1", 0, &count, ips, masks, ports);
              }),
              ZEL_UNKNOWN_ERROR);
    ZelModuleDelete(module);
}

}  // namespace
