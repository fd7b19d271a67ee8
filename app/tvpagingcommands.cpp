// `tolvane add` and `tolvane page`: networks, devices, groups, equipment and pages made
// through the paging objects, with the checks and texts of their property pages and of
// the Send Page form.

#include <algorithm>
#include <cctype>

#include "app/tvapp.h"
#include "app/tvcommands.h"
#include "log/messagebox.h"
#include "model/networkpagerules.h"
#include "model/pagechecks.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvgroupmember.h"
#include "model/tvmonequip.h"
#include "model/tvpagedev.h"
#include "model/tvpagemsg.h"
#include "model/tvpagenet.h"
#include "model/tvvaluelists.h"
#include "objects/cvbobroot.h"
#include "storage/cvddfield.h"
#include "storage/cvfilemgr.h"
#include "storage/datatype.h"

namespace {

constexpr unsigned kWarningBox = kMbOk | kMbIconWarning;

// "a,b , c" -> {"a", "b", "c"}; empty entries are dropped.
std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string entry = text.substr(start, end - start);
        const size_t first = entry.find_first_not_of(' ');
        const size_t last = entry.find_last_not_of(' ');
        if (first != std::string::npos) {
            entries.push_back(entry.substr(first, last - first + 1));
        }
        start = end + 1;
    }
    return entries;
}

// The fields of a network that only some protocols use, with whether `rules` enable them.
bool ProtocolAllows(const tvNetworkPageRules& rules, std::string_view field) {
    if (field == "PORT") {
        return rules.port;
    }
    if (field == "REPLYTO") {
        return rules.reply_to;
    }
    if (field == "RATE" || field == "DATABITS" || field == "PARITY" || field == "STOPBITS") {
        return rules.comm_port;
    }
    if (field == "PASSWORD") {
        return rules.password;
    }
    if (field == "SERVERPIN") {
        return rules.server_pin;
    }
    if (field == "SECURITYCODE") {
        return rules.security_code;
    }
    return true;
}

// The number fields the record manager assigns and the recipient kind, which the
// command's first word decides.
bool IsSetByTheProgram(std::string_view field) {
    return field == "PAGENETNBR" || field == "PAGEDEVNBR" || field == "EQUIPNBR" ||
           field == "QGROUP";
}

// How many characters a text field holds (a zero-terminated one keeps a byte for the
// terminator).
size_t TextRoom(const cvRec& record, std::string_view name) {
    const cvDDField* field = record.Table().FindField(name);
    if (field == nullptr) {
        return 0;
    }
    return field->DataType() == kTypeZString ? field->Size() - 1u : field->Size();
}

}  // namespace

int tvCommands::Add(const std::vector<std::string>& arguments, bool assume_yes) {
    const std::string& kind = arguments[0];
    std::vector<tvFieldAssignment> assignments;
    if (!ParseAssignments(arguments, 1, &assignments)) {
        return kExitUsage;
    }
    cvFileMgr* manager = app_.FileManager();
    if (!manager) {
        return kExitRefused;
    }
    const bool group = kind == "group";
    if ((group || kind == "equipment") && !app_.AlarmWatch()) {
        return Refuse(
            "Groups and monitored equipment are available only while the Alarm "
            "Watch setting is on",
            kWarningBox);
    }

    cvBobRoot<cvBob> object;
    if (kind == "network") {
        object = tvPageNet::Create(*manager);
    } else if (kind == "equipment") {
        object = tvMonEquip::Create(*manager);
    } else {
        object = tvPageDev::Create(*manager, group);
    }
    if (!object) {
        return kExitRefused;  // the table could not be opened; the file layer said why
    }

    std::vector<std::string> members;
    for (const tvFieldAssignment& assignment : assignments) {
        const std::string& name = assignment.name;
        if (IsSetByTheProgram(name)) {
            return Usage(name + " is set by the program");
        }
        if (kind == "device" && name == "NETWORK") {
            // The page's drop-down offers the active networks only.
            const cvBobRoot<tvPageNet> network =
                tvPageNet::FindByDescription(*manager, assignment.value);
            if (!network || IsYes(network->GetText("QINACTIVE", 1))) {
                return Refuse(std::string(kSelectionRequiredText), kWarningBox);
            }
            static_cast<void>(object->PutInt("PAGENETNBR", network->GetInt("PAGENETNBR")));
            continue;
        }
        if (kind == "equipment" && name == "DEVICE") {
            const cvBobRoot<tvPageDev> device =
                tvPageDev::FindByDescription(*manager, assignment.value);
            if (!device) {
                return Refuse(std::string(kSelectionRequiredText), kWarningBox);
            }
            static_cast<void>(object->PutInt("PAGEDEVNBR", device->Number()));
            continue;
        }
        if (group && name == "MEMBERS") {
            members = SplitList(assignment.value);
            continue;
        }
        if (kind == "network" && (name == "PROTOCOL" || name == "RATE" || name == "PARITY" ||
                                  name == "DATABITS" || name == "STOPBITS")) {
            const std::span<const cvValueEntry> values = name == "PROTOCOL"   ? ProtocolValues()
                                                         : name == "RATE"     ? LineSpeedValues()
                                                         : name == "DATABITS" ? DataBitsValues()
                                                         : name == "STOPBITS" ? StopBitsValues()
                                                                              : ParityValues();
            std::optional<int32_t> value = ParseListValue(assignment.value, values);
            if (name == "PARITY" && assignment.value.size() == 1) {
                // The letter itself: "E" for Even.
                value = std::toupper(static_cast<unsigned char>(assignment.value[0]));
            }
            if (!value || ValueText(*value, values).empty()) {
                return Usage(name + " takes one of the values of its list");
            }
            static_cast<void>(object->PutInt(name, *value));
            continue;
        }
        if (std::string why = PutFieldValue(*object, assignment, tvTextPadding::kBlanks);
            !why.empty()) {
            return Usage(why);
        }
    }

    if (kind == "network") {
        // The pages disable what the protocol does not use, so nothing can be typed there.
        const tvNetworkPageRules rules = NetworkPageRules(object->GetInt("PROTOCOL"));
        for (const tvFieldAssignment& assignment : assignments) {
            if (!ProtocolAllows(rules, assignment.name)) {
                return Refuse(
                    assignment.name + " does not apply to the protocol " +
                        std::string(ValueText(object->GetInt("PROTOCOL"), ProtocolValues())),
                    kWarningBox);
            }
        }
    }
    if (group) {
        auto* device = static_cast<tvPageDev*>(object.get());
        cvBobSet& candidates = device->Candidates();
        for (const std::string& member : members) {
            bool found = false;
            for (int i = 0; i < candidates.GetCount(); ++i) {
                auto* candidate = static_cast<tvGroupMember*>(candidates.GetAt(i));
                tvPageDev* row = candidate ? candidate->Device() : nullptr;
                if (row && row->GetText("DESCRIPTION") == member) {
                    candidate->SetChecked(true);
                    found = true;
                }
            }
            if (!found) {
                return Refuse(std::string(kSelectionRequiredText), kWarningBox);
            }
        }
    }

    bool question_refused = false;
    const tvPageRefusal refusal = CheckPageRules(*object, [&](const std::string& question) {
        const bool yes =
            app_.MessageBox(question, kMbYesNo | kMbIconQuestion | kMbDefButton2) == kIdYes;
        question_refused = !yes;
        return yes;
    });
    static_cast<void>(assume_yes);  // the console presenter answers the question by --yes
    if (!refusal.Accepted()) {
        // A question answered No has been shown already; other refusals are shown now.
        return question_refused ? kExitRefused : Refuse(refusal.text, kWarningBox);
    }
    if (object->Save() != 0) {
        return kExitRefused;  // the lower layers reported it
    }
    const std::string_view number_field = kind == "network"     ? "PAGENETNBR"
                                          : kind == "equipment" ? "EQUIPNBR"
                                                                : "PAGEDEVNBR";
    std::fprintf(out_, "Added %s %d: %s\n", kind.c_str(), object->GetInt(number_field),
                 object->GetText("DESCRIPTION").c_str());
    return kExitOk;
}

int tvCommands::Page(const std::vector<std::string>& arguments) {
    cvFileMgr* manager = app_.FileManager();
    if (!manager) {
        return kExitRefused;
    }
    // The form's order: the recipient, then the text.
    const cvBobRoot<tvPageDev> recipient = tvPageDev::FindByDescription(*manager, arguments[0]);
    if (!recipient) {
        return Refuse(std::string(kSelectionRequiredText), kWarningBox);
    }
    std::string text;
    for (size_t i = 1; i < arguments.size(); ++i) {
        text += (i == 1 ? "" : " ") + arguments[i];
    }
    if (text.empty()) {
        return Refuse(std::string(kEntryRequiredText), kWarningBox);
    }

    const cvBobRoot<tvPageMsg> message = tvPageMsg::Create(*manager);
    if (!message) {
        return kExitRefused;
    }
    // The window stops typing at the field's width; here a longer text is refused
    // rather than cut without a word.
    const size_t room = TextRoom(*message, "TEXT");
    if (text.size() > room) {
        return Refuse("The message is " + std::to_string(text.size()) +
                          " characters long; a page holds at most " + std::to_string(room),
                      kWarningBox);
    }
    if (message->PutInt("PAGEDEVNBR", recipient->Number()) == 0 ||
        message->PutString("TEXT", text) == 0) {
        return kExitRefused;
    }
    if (message->Save() != 0) {
        return kExitRefused;  // the lower layers reported it, the group expansion included
    }
    std::fprintf(out_, "Queued message %d for %s\n", message->Number(),
                 recipient->GetText("DESCRIPTION").c_str());
    return kExitOk;
}
