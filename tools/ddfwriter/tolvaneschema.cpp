#include "tools/ddfwriter/tolvaneschema.h"

#include "storage/datatype.h"

namespace {

// Keys over record numbers never change and stay unique; keys over values that are
// edited or advanced (status, schedule, descriptions) are modifiable.
constexpr uint16_t kDup = kKeyDuplicates | kKeyModifiable;
constexpr uint16_t kDupSeg = kDup | kKeySegmented;

constexpr cvFieldDef kPageMsgFields[] = {
    {"PAGEMSGNBR", kTypeAutoInc, 0, 4, 0},      {"PAGEDEVNBR", kTypeInteger, 4, 4, 0},
    {"HOSTREFNBR", kTypeInteger, 8, 4, 0},      {"TEXT", kTypeZString, 12, 1001, 0},
    {"QCONFIDENTIAL", kTypeString, 1013, 1, 0}, {"STATUS", kTypeInteger, 1014, 4, 0},
    {"SCHEDDATE", kTypeDate, 1018, 4, 0},       {"SCHEDTIME", kTypeTime, 1022, 4, 0},
    {"ATTEMPTS", kTypeInteger, 1026, 4, 0},     {"RESPONSE", kTypeZString, 1030, 256, 0},
    {"NETMSGNBR", kTypeInteger, 1286, 4, 0},    {"ENTERBY", kTypeInteger, 1290, 4, 0},
    {"DATEENTER", kTypeDate, 1294, 4, 0},       {"TIMEENTER", kTypeTime, 1298, 4, 0},
};
constexpr cvKeyDef kPageMsgKeys[] = {
    {"PAGEMSGNBR", kKeyUnique},                                               // 0
    {"STATUS", kDupSeg},        {"SCHEDDATE", kDupSeg}, {"SCHEDTIME", kDup},  // 1
    {"SCHEDDATE", kDup},                                                      // 2
    {"PAGEDEVNBR", kDupSeg},    {"SCHEDDATE", kDup},                          // 3
    {"HOSTREFNBR", kDup},  // 4: the originator's number
    {"NETMSGNBR", kDup},   // 5
};

constexpr cvFieldDef kPageDevFields[] = {
    {"PAGEDEVNBR", kTypeAutoInc, 0, 4, 0},  {"DESCRIPTION", kTypeZString, 4, 41, 0},
    {"QINACTIVE", kTypeString, 45, 1, 0},   {"QGROUP", kTypeString, 46, 1, 0},
    {"PAGENETNBR", kTypeInteger, 47, 4, 0}, {"PIN", kTypeZString, 51, 41, 0},
    {"PASSWORD", kTypeZString, 92, 21, 0},  {"MAXMSGLEN", kTypeInteger, 113, 4, 0},
};
constexpr cvKeyDef kPageDevKeys[] = {
    {"PAGEDEVNBR", kKeyUnique},
    {"DESCRIPTION", kKeyModifiable},
};

constexpr cvFieldDef kPageNetFields[] = {
    {"PAGENETNBR", kTypeAutoInc, 0, 4, 0},   {"DESCRIPTION", kTypeZString, 4, 41, 0},
    {"QINACTIVE", kTypeString, 45, 1, 0},    {"PROTOCOL", kTypeInteger, 46, 4, 0},
    {"PHONE", kTypeZString, 50, 81, 0},      {"PORT", kTypeInteger, 131, 4, 0},
    {"REPLYTO", kTypeZString, 135, 81, 0},   {"REPLYPROLOGUE", kTypeZString, 216, 81, 0},
    {"MAXMSGLEN", kTypeInteger, 297, 4, 0},  {"RATE", kTypeInteger, 301, 4, 0},
    {"DATABITS", kTypeInteger, 305, 4, 0},   {"PARITY", kTypeInteger, 309, 4, 0},
    {"STOPBITS", kTypeInteger, 313, 4, 0},   {"PASSWORD", kTypeZString, 317, 21, 0},
    {"SERVERPIN", kTypeZString, 338, 41, 0}, {"SECURITYCODE", kTypeZString, 379, 41, 0},
};
constexpr cvKeyDef kPageNetKeys[] = {
    {"PAGENETNBR", kKeyUnique},
    {"DESCRIPTION", kKeyModifiable},
};

constexpr cvFieldDef kPageGrpFields[] = {
    {"PAGEGRPNBR", kTypeInteger, 0, 4, 0},
    {"PAGEDEVNBR", kTypeInteger, 4, 4, 0},
};
constexpr cvKeyDef kPageGrpKeys[] = {
    {"PAGEGRPNBR", kKeyUnique | kKeySegmented},
    {"PAGEDEVNBR", kKeyUnique},  // 0
    {"PAGEDEVNBR", kDup},        // 1
};

constexpr cvFieldDef kMonEquipFields[] = {
    {"EQUIPNBR", kTypeAutoInc, 0, 4, 0},  {"DESCRIPTION", kTypeZString, 4, 41, 0},
    {"QINACTIVE", kTypeString, 45, 1, 0}, {"CONTACT", kTypeZString, 46, 41, 0},
    {"PHONE", kTypeZString, 87, 81, 0},   {"PAGEDEVNBR", kTypeInteger, 168, 4, 0},
};
constexpr cvKeyDef kMonEquipKeys[] = {
    {"EQUIPNBR", kKeyUnique},
    {"DESCRIPTION", kKeyModifiable},
};

constexpr cvFieldDef kOldNetFields[] = {
    {"DESCRIPTION", kTypeString, 0, 10, 0}, {"PHONE", kTypeString, 10, 20, 0},
    {"RATE", kTypeInteger, 30, 2, 0},       {"PASSWORD", kTypeString, 32, 6, 0},
    {"PROTOCOL", kTypeInteger, 42, 2, 0},   {"MAXMSGLEN", kTypeInteger, 45, 2, 0},
    {"SERVERPIN", kTypeString, 47, 10, 0},  {"SECURITYCODE", kTypeString, 57, 10, 0},
    {"SPARE", kTypeString, 67, 17, 0},
};
constexpr cvKeyDef kOldNetKeys[] = {{"DESCRIPTION", kKeyUnique}};

constexpr cvFieldDef kOldDevFields[] = {
    {"DESCRIPTION", kTypeString, 0, 20, 0},  {"PAGENETNBR", kTypeString, 20, 10, 0},
    {"PIN", kTypeString, 30, 10, 0},         {"PASSWORD", kTypeString, 40, 6, 0},
    {"EMPLOYEENBR", kTypeString, 46, 20, 0}, {"MAXMSGLEN", kTypeInteger, 66, 2, 0},
    {"QINACTIVE", kTypeInteger, 68, 4, 0},   {"SPARE", kTypeString, 72, 13, 0},
};
constexpr cvKeyDef kOldDevKeys[] = {
    {"DESCRIPTION", kKeyUnique},
    {"EMPLOYEENBR", kDup},
};

constexpr cvFieldDef kOldGroupFields[] = {
    {"PAGEGRPNBR", kTypeString, 0, 20, 0},   // the group's description
    {"PAGEDEVNBR", kTypeString, 20, 20, 0},  // the member's description
};
constexpr cvKeyDef kOldGroupKeys[] = {
    {"PAGEGRPNBR", kKeyUnique | kKeySegmented},
    {"PAGEDEVNBR", kKeyUnique},
};

constexpr cvFieldDef kOldEquipFields[] = {
    {"DESCRIPTION", kTypeString, 0, 20, 0},
    {"PHONE", kTypeString, 20, 20, 0},
    {"CONTACT", kTypeString, 40, 30, 0},
    {"PAGER", kTypeString, 70, 21, 0},  // "*" and a group's description, or a device's
};
constexpr cvKeyDef kOldEquipKeys[] = {{"DESCRIPTION", kKeyUnique}};

constexpr int kPage = 4096;  // not stored in the dictionary files; the product sets its own

constexpr cvTableDef kTables[] = {
    {"PAGEMSG", "PAGEMSG.DAT", kPage, 0, kPageMsgFields, kPageMsgKeys, 0},
    {"PAGEDEV", "PAGEDEV.DAT", kPage, 0, kPageDevFields, kPageDevKeys, 0},
    {"PAGENET", "PAGENET.DAT", kPage, 0, kPageNetFields, kPageNetKeys, 0},
    {"PAGEGRP", "PAGEGRP.DAT", kPage, 0, kPageGrpFields, kPageGrpKeys, 0},
    {"MONEQUIP", "MONEQUIP.DAT", kPage, 0, kMonEquipFields, kMonEquipKeys, 0},
    {"OLDNET", "TVNET.DAT", kPage, 0, kOldNetFields, kOldNetKeys, 0},
    {"OLDDEV", "TVUSER.DAT", kPage, 0, kOldDevFields, kOldDevKeys, 0},
    {"OLDGROUP", "TVGROUP.DAT", kPage, 0, kOldGroupFields, kOldGroupKeys, 0},
    {"OLDEQUIP", "TVEQUIP.DAT", kPage, 0, kOldEquipFields, kOldEquipKeys, 0},
};

}  // namespace

std::span<const cvTableDef> TolvaneSchema() {
    return kTables;
}
