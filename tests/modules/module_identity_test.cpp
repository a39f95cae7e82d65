#include "modules/module_identity.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>

#include "zellibrary.h"

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

// Each identity makes the object of its kind's class, the kind's measuring
// rows decode, and the table's channel counts are the hardware's.
TEST(ModuleKinds, EachIdentityMakesItsKindsObject) {
    struct Case {
        MODULE_ID id;
        const char* kindName;
        bool (*isClass)(ZelModule*);
        unsigned short channels;
    };
    const Case cases[] = {
        {ZEL_4101_01, "Kalix encoder",
         [](ZelModule* m) { return dynamic_cast<ZelKalixModule*>(m) != nullptr; }, 0},
        {ZEL_4108_02, "1 Vpp encoder",
         [](ZelModule* m) { return dynamic_cast<Zel1VppModule*>(m) != nullptr; }, 0},
        {ZEL_4113_01, "TTL encoder",
         [](ZelModule* m) { return dynamic_cast<ZelTtlModule*>(m) != nullptr; }, 4},
        {ZEL_4114_02, "TTL encoder",
         [](ZelModule* m) { return dynamic_cast<ZelTtlModule*>(m) != nullptr; }, 4},
        {ZEL_4115_01, "TTL encoder",
         [](ZelModule* m) { return dynamic_cast<ZelTtlModule*>(m) != nullptr; }, 8},
        {ZEL_4116_06, "LVDT",
         [](ZelModule* m) { return dynamic_cast<ZelLvdtModule*>(m) != nullptr; }, 8},
        {ZEL_4111_02, "analog",
         [](ZelModule* m) { return dynamic_cast<ZelAnalogModule*>(m) != nullptr; }, 2},
        {ZEL_4109_01, "I/O",
         [](ZelModule* m) {
             return dynamic_cast<ZelIoModule*>(m) != nullptr &&
                    dynamic_cast<ZelPneumaticModule*>(m) == nullptr;
         },
         8},
        {ZEL_4110_02, "pneumatic",
         [](ZelModule* m) { return dynamic_cast<ZelPneumaticModule*>(m) != nullptr; }, 1},
        {ZEL_4103_01, "power supply",
         [](ZelModule* m) { return dynamic_cast<ZelDeviceModule*>(m) == nullptr; }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(id::idString(c.id));
        ASSERT_NE(id::kindOf(c.id), nullptr);
        EXPECT_STREQ(id::kindOf(c.id)->name, c.kindName);
        EXPECT_EQ(id::channels(c.id), c.channels);
        std::unique_ptr<ZelModule> m(zel::kinds::create(c.id, false));
        ASSERT_NE(m, nullptr);
        EXPECT_TRUE(c.isClass(m.get()));
    }
    // A discovered module of a kind without a class is a device module, one
    // taken in by address a plain module.
    std::unique_ptr<ZelModule> device(zel::kinds::create(ZEL_4104_02, true));
    EXPECT_NE(dynamic_cast<ZelDeviceModule*>(device.get()), nullptr);
    std::unique_ptr<ZelModule> unknown(zel::kinds::create(MODULE_ID_NONE, false));
    EXPECT_EQ(dynamic_cast<ZelDeviceModule*>(unknown.get()), nullptr);
    EXPECT_EQ(zel::kinds::rowOf(MODULE_ID_NONE), nullptr);
}

// A decoder refuses an object of another class instead of reading it as its
// own.
TEST(ModuleKinds, DecoderRefusesAnObjectOfAnotherClass) {
    for (const id::KindInfo& k : id::kKinds) {
        const zel::kinds::Row& row = zel::kinds::row(k.kind);
        if (row.decode == nullptr) continue;
        SCOPED_TRACE(k.name);
        ZelModule plain;
        ZelbusResponse answer{};
        zel::kinds::Decoded out{};
        EXPECT_EQ(row.decode(plain, answer, COUNT_REQUEST_NORMAL, out).code(),
                  ZEL_MODULE_NUMBER_INVALID);
    }
}

TEST(ModuleKinds, UnitNames) {
    const std::pair<UOM, const char*> encoder[] = {{UOM_MILLIMETRE, "mm"},
                                                   {UOM_INCH, "in"},
                                                   {UOM_DEGREE, "deg"},
                                                   {UOM_COUNTS, "counts"},
                                                   {UOM_NONE, "counts"}};
    for (const auto& [uom, name] : encoder) EXPECT_STREQ(zel::kinds::unitName(uom), name);
    const std::pair<LVDT_UOM, const char*> lvdt[] = {{LVDT_UOM_MILLIMETRE, "mm"},
                                                     {LVDT_UOM_INCH, "in"},
                                                     {LVDT_UOM_MICROMETRE, "um"},
                                                     {LVDT_UOM_COUNTS, "counts"}};
    for (const auto& [uom, name] : lvdt) EXPECT_STREQ(zel::kinds::unitName(uom), name);
}

// An encoder channel's positions: a rotary one reads degrees even when its
// unit is linear, one without a type or unit reads counts.
TEST(ModuleKinds, EncoderUnitNamesFollowTheChannelType) {
    const struct {
        UOM uom;
        ENCODER_TYPES_ENUM type;
        const char* name;
    } cases[] = {
        {UOM_MILLIMETRE, ENCODER_TYPE_LINEAR, "mm"},   {UOM_INCH, ENCODER_TYPE_LINEAR, "in"},
        {UOM_DEGREE, ENCODER_TYPE_ROTARY, "deg"},      {UOM_MILLIMETRE, ENCODER_TYPE_ROTARY, "deg"},
        {UOM_INCH, ENCODER_TYPE_ROTARY, "deg"},        {UOM_COUNTS, ENCODER_TYPE_ROTARY, "counts"},
        {UOM_MILLIMETRE, ENCODER_TYPE_NONE, "counts"}, {UOM_NONE, ENCODER_TYPE_LINEAR, "counts"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.uom) + "/" + std::to_string(c.type));
        EXPECT_STREQ(zel::kinds::encoderUnitName(c.uom, c.type), c.name);
    }
}
