// The C header declares some enumerations on its own, since the C++ headers
// give them fixed underlying types C cannot write; their values must agree.
#include <gtest/gtest.h>

#include "checked_enumerators.h"
#include "zellibrary.h"

extern "C" {
extern const long zel_c_enumerators[];
extern const unsigned long zel_c_enumerator_count;
}

TEST(CHeaderEnumerators, AgreeWithTheClassHeaders) {
#define ZEL_AS_VALUE(name) static_cast<long>(name),
#define ZEL_AS_NAME(name) #name,
    const long cpp[] = {ZEL_CHECKED_ENUMERATORS(ZEL_AS_VALUE)};
    const char* names[] = {ZEL_CHECKED_ENUMERATORS(ZEL_AS_NAME)};
    ASSERT_EQ(zel_c_enumerator_count, std::size(cpp));
    for (std::size_t i = 0; i < std::size(cpp); ++i)
        EXPECT_EQ(zel_c_enumerators[i], cpp[i]) << names[i];
}
