#include "modules/module_identity.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "modules/zel_module.h"

namespace id = zel::identity;

TEST(ModuleIdentity, ValueIsTheIdStringWithoutTheDash) {
    std::set<std::string> idStrings;
    for (const id::Entry& e : id::kTable) {
        SCOPED_TRACE(e.idString);
        std::string digits = e.idString;
        digits.erase(digits.find('-'), 1);
        EXPECT_EQ(std::stoul(digits), static_cast<unsigned long>(e.id));
        EXPECT_TRUE(e.priority == 1 || e.priority == 2);
        EXPECT_TRUE(idStrings.insert(e.idString).second);
    }
    EXPECT_EQ(idStrings.size(), 34u);
}

TEST(ModuleIdentity, UnknownValuesMatchNothing) {
    const MODULE_ID unknown[] = {MODULE_ID_NONE, static_cast<MODULE_ID>(58031201),
                                 static_cast<MODULE_ID>(58031607), static_cast<MODULE_ID>(1)};
    for (MODULE_ID v : unknown) {
        SCOPED_TRACE(static_cast<unsigned>(v));
        EXPECT_STREQ(id::modelName(v), "Unknown");
        EXPECT_STREQ(id::idString(v), "Unknown");
        EXPECT_EQ(id::priorityClass(v), 0);
        EXPECT_FALSE(id::isBase(v));
        EXPECT_FALSE(id::isKind(v, id::Kind::Kalix));
    }
}

TEST(ModuleIdentity, KindsPrioritiesAndBaseModules) {
    EXPECT_TRUE(id::isKind(ZEL_4105_01, id::Kind::Kalix));
    EXPECT_FALSE(id::isBase(ZEL_4105_01));
    EXPECT_TRUE(id::isBase(ZEL_4113_02));
    EXPECT_TRUE(id::isKind(ZEL_4113_02, id::Kind::Ttl));
    EXPECT_EQ(id::priorityClass(ZEL_4111_01), 2);
    EXPECT_EQ(id::priorityClass(ZEL_4110_02), 1);
    EXPECT_STREQ(id::modelName(ZEL_4116_06), "ZEL 4116");
    EXPECT_STREQ(id::idString(ZEL_4116_06), "580316-06");
    int bases = 0;
    for (const id::Entry& e : id::kTable) bases += e.base;
    EXPECT_EQ(bases, 6);
}

TEST(ModuleIdentity, ZelModulePredicatesGiveEachIdentityOneKindAndOneClass) {
    using Predicate = bool (*)(const MODULE_ID&);
    const Predicate kinds[] = {ZelModule::isPowerSupplyModule, ZelModule::isKalixModule,
                               ZelModule::is1VppModule,        ZelModule::isTtlModule,
                               ZelModule::isLvdtModule,        ZelModule::isAnalogModule,
                               ZelModule::isIOModule,          ZelModule::isPneumaticModule};
    for (const id::Entry& e : id::kTable) {
        SCOPED_TRACE(e.idString);
        int matches = 0;
        for (Predicate p : kinds) matches += p(e.id);
        EXPECT_EQ(matches, 1);
        EXPECT_NE(ZelModule::isPriority1Module(e.id), ZelModule::isPriority2Module(e.id));
        EXPECT_EQ(ZelModule::isBaseModule(e.id), e.base);
        EXPECT_FALSE(ZelModule::isBootloaderModule(e.id));
        EXPECT_STREQ(ZelModule::showModuleType(e.id), e.model);
    }
    const MODULE_ID none = MODULE_ID_NONE;
    EXPECT_TRUE(ZelModule::isBootloaderModule(none));
    for (Predicate p : kinds) EXPECT_FALSE(p(none));
    EXPECT_FALSE(ZelModule::isPriority1Module(none) || ZelModule::isPriority2Module(none));
    EXPECT_STREQ(ZelModule::showModuleId(static_cast<MODULE_ID>(58031607)), "Unknown");
    EXPECT_TRUE(ZelModule::is1VppModule(ZEL_4108_02));
    EXPECT_TRUE(ZelModule::isLvdtModule(ZEL_4116_03));
    // One source of truth: the project version CMake was given.
    EXPECT_STREQ(ZelModule::getLibraryVersion(), ZEL_PROJECT_VERSION);
}
