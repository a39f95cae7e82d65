/// @file
/// The module identity table: enumerator, value, ID string, model name, kind,
/// priority class, base module, channels.
/// Plain C, so the C interface's header builds its enumerations from the
/// same table as the classes.
#ifndef ZEL_MODULE_ID_TABLE_H
#define ZEL_MODULE_ID_TABLE_H

/// @addtogroup modules
/// @{

/// The identities as X(enumerator, value, ID string, model, kind, priority
/// class, base module, channels) entries, where channels is the count the
/// kind's class sets for that model (0: the module reports it); MODULE_ID, the identity lookups and
/// the C interface's enumeration are built from it.
#define ZEL_MODULE_ID_TABLE(X)                                                  \
    X(ZEL_4101_01, 58030101, "580301-01", "ZEL 4101", Kalix, 1, true, 0)        \
    X(ZEL_4101_02, 58030102, "580301-02", "ZEL 4101", Kalix, 1, true, 0)        \
    X(ZEL_4102_01, 58030201, "580302-01", "ZEL 4102", OneVpp, 1, true, 0)       \
    X(ZEL_4102_02, 58030202, "580302-02", "ZEL 4102", OneVpp, 1, true, 0)       \
    X(ZEL_4103_01, 58030301, "580303-01", "ZEL 4103", PowerSupply, 1, false, 0) \
    X(ZEL_4103_02, 58030302, "580303-02", "ZEL 4103", PowerSupply, 1, false, 0) \
    X(ZEL_4104_01, 58030401, "580304-01", "ZEL 4104", PowerSupply, 1, false, 0) \
    X(ZEL_4104_02, 58030402, "580304-02", "ZEL 4104", PowerSupply, 1, false, 0) \
    X(ZEL_4105_01, 58030501, "580305-01", "ZEL 4105", Kalix, 1, false, 0)       \
    X(ZEL_4105_02, 58030502, "580305-02", "ZEL 4105", Kalix, 1, false, 0)       \
    X(ZEL_4106_01, 58030601, "580306-01", "ZEL 4106", Kalix, 1, false, 0)       \
    X(ZEL_4106_02, 58030602, "580306-02", "ZEL 4106", Kalix, 1, false, 0)       \
    X(ZEL_4107_01, 58030701, "580307-01", "ZEL 4107", OneVpp, 1, false, 0)      \
    X(ZEL_4107_02, 58030702, "580307-02", "ZEL 4107", OneVpp, 1, false, 0)      \
    X(ZEL_4108_01, 58030801, "580308-01", "ZEL 4108", OneVpp, 1, false, 0)      \
    X(ZEL_4108_02, 58030802, "580308-02", "ZEL 4108", OneVpp, 1, false, 0)      \
    X(ZEL_4109_01, 58030901, "580309-01", "ZEL 4109", Io, 1, false, 8)          \
    X(ZEL_4109_02, 58030902, "580309-02", "ZEL 4109", Io, 1, false, 8)          \
    X(ZEL_4110_01, 58031001, "580310-01", "ZEL 4110", Pneumatic, 1, false, 1)   \
    X(ZEL_4110_02, 58031002, "580310-02", "ZEL 4110", Pneumatic, 1, false, 1)   \
    X(ZEL_4111_01, 58031101, "580311-01", "ZEL 4111", Analog, 2, false, 2)      \
    X(ZEL_4111_02, 58031102, "580311-02", "ZEL 4111", Analog, 2, false, 2)      \
    X(ZEL_4113_01, 58031301, "580313-01", "ZEL 4113", Ttl, 2, true, 4)          \
    X(ZEL_4113_02, 58031302, "580313-02", "ZEL 4113", Ttl, 2, true, 4)          \
    X(ZEL_4114_01, 58031401, "580314-01", "ZEL 4114", Ttl, 2, false, 4)         \
    X(ZEL_4114_02, 58031402, "580314-02", "ZEL 4114", Ttl, 2, false, 4)         \
    X(ZEL_4115_01, 58031501, "580315-01", "ZEL 4115", Ttl, 2, false, 8)         \
    X(ZEL_4115_02, 58031502, "580315-02", "ZEL 4115", Ttl, 2, false, 8)         \
    X(ZEL_4116_01, 58031601, "580316-01", "ZEL 4116", Lvdt, 2, false, 8)        \
    X(ZEL_4116_02, 58031602, "580316-02", "ZEL 4116", Lvdt, 2, false, 8)        \
    X(ZEL_4116_03, 58031603, "580316-03", "ZEL 4116", Lvdt, 2, false, 8)        \
    X(ZEL_4116_04, 58031604, "580316-04", "ZEL 4116", Lvdt, 2, false, 8)        \
    X(ZEL_4116_05, 58031605, "580316-05", "ZEL 4116", Lvdt, 2, false, 8)        \
    X(ZEL_4116_06, 58031606, "580316-06", "ZEL 4116", Lvdt, 2, false, 8)

/// @}

#endif  // ZEL_MODULE_ID_TABLE_H
