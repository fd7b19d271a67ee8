#include "model/pagechecks.h"

#include <algorithm>

#include "model/networkpagerules.h"
#include "model/pagingcodes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvmonequip.h"
#include "model/tvpagedev.h"
#include "model/tvpagenet.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string WithoutNewline(std::string_view text) {
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// DESCRIPTION required and unique within the object's table.
tvPageRefusal CheckDescription(cvBob& object, std::string_view number_field) {
    const std::string description = object.GetText("DESCRIPTION", 1);
    if (MissingRequiredEntry(description)) {
        return {"DESCRIPTION", std::string(kEntryRequiredText)};
    }
    cvFileMgr* manager = ManagerOf(object);
    if (manager && !IsUniqueDescription(*manager, object.Table().TableName(), number_field,
                                        description, object.GetInt(number_field))) {
        return {"DESCRIPTION", std::string(kUniqueEntryText)};
    }
    return {};
}

tvPageRefusal CheckNetwork(cvBob& network) {
    tvPageRefusal refusal = CheckDescription(network, "PAGENETNBR");
    if (!refusal.Accepted()) {
        return refusal;
    }
    // A port no connection can use would make every send fail and be retried forever.
    const int32_t port = network.GetInt("PORT");
    if (NetworkPageRules(network.GetInt("PROTOCOL")).port && (port < 1 || port > 65535)) {
        return {"PORT", std::string(kPortRangeText)};
    }
    return {};
}

tvPageRefusal CheckDevice(tvPageDev& device, const tvYesNoQuestion& ask) {
    tvPageRefusal refusal = CheckDescription(device, "PAGEDEVNBR");
    if (!refusal.Accepted() || device.IsGroup()) {
        return refusal;
    }
    tvPageNet* network = device.Network();
    if (!network) {
        return {"PAGENETNBR", std::string(kSelectionRequiredText)};
    }
    const std::string pin = device.GetText("PIN", 1);
    if (MissingRequiredEntry(pin)) {
        return {"PIN", std::string(kEntryRequiredText)};
    }
    if (PinNeedsQuestion(pin, network->Protocol()) && !(ask && ask(PinQuestion()))) {
        return {"PIN", WithoutNewline(kPinNonNumericText)};
    }
    return {};
}

tvPageRefusal CheckEquipment(tvMonEquip& equipment) {
    tvPageRefusal refusal = CheckDescription(equipment, "EQUIPNBR");
    if (!refusal.Accepted()) {
        return refusal;
    }
    if (!equipment.Device()) {
        return {"PAGEDEVNBR", std::string(kSelectionRequiredText)};
    }
    return {};
}

}  // namespace

std::string PinQuestion() {
    return std::string(kPinNonNumericText) + std::string(kContinueQuestionText);
}

bool PinNeedsQuestion(std::string_view pin, int32_t protocol) {
    if (protocol == 0 || protocol == kProtocolSmtp) {
        return false;
    }
    return !std::all_of(pin.begin(), pin.end(), IsDigit);
}

bool MissingRequiredEntry(std::string_view text, bool enabled, bool writable) {
    return enabled && writable && text.empty();
}

bool IsUniqueDescription(cvFileMgr& manager, std::string_view table, std::string_view number_field,
                         std::string_view description, int32_t own_number) {
    const int32_t found = FindNumberByDescription(manager, table, number_field, description);
    return found == 0 || found == own_number;
}

tvPageRefusal CheckPageRules(cvBob& object, const tvYesNoQuestion& ask) {
    if (object.IsKindOf("tvPageDev")) {
        return CheckDevice(static_cast<tvPageDev&>(object), ask);
    }
    if (object.IsKindOf("tvMonEquip")) {
        return CheckEquipment(static_cast<tvMonEquip&>(object));
    }
    if (object.IsKindOf("tvPageNet")) {
        return CheckNetwork(object);
    }
    return {};
}
