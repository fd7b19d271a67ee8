#include "model/tvpagemsg.h"

#include <algorithm>

#include "model/pagingobjecttypes.h"
#include "model/pagingrows.h"
#include "model/pagingtables.h"
#include "model/tvgroupmember.h"
#include "model/tvpagedev.h"
#include "model/tvpagenet.h"
#include "storage/cvddfile.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrecset.h"
#include "storage/datatype.h"

namespace {

// The key starts here and counts up; with the high bit set (and no wrap within the
// sixteen steps) no byte of 7-bit text becomes zero or a blank, and no UTF-8
// continuation byte becomes zero.
constexpr uint8_t kConfidentialSeed = 0xC9;
constexpr int kKeyPeriod = 16;

constexpr std::string_view kConfidentialText = "Confidential";
// Room a page keeps for the carrier's own additions when a text is split.
constexpr int kPageOverhead = 6;

// The bytes stored in TEXT up to the padding, leading blanks and embedded zero bytes
// included: a hidden text may hold either, and the ordinary text accessor would drop
// them.
std::string StoredTextBytes(const cvRec& record) {
    const cvDDField* field = record.Table().FindField("TEXT", false);
    const uint8_t* data = record.FieldData("TEXT");
    if (!field || !data) {
        return {};
    }
    size_t size = field->Size();
    if (field->DataType() == kTypeLString && size > 0) {
        ++data;
        --size;
    } else if (field->DataType() == kTypeZString && size > 0) {
        --size;
    } else if (field->DataType() != kTypeString) {
        return record.cvRec::GetText("TEXT", 1);
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    const size_t end = text.find_last_not_of(std::string_view(" \0", 2));
    text.resize(end == std::string::npos ? 0 : end + 1);
    return text;
}

}  // namespace

std::string ConfidentialTransform(std::string_view text) {
    std::string result(text);
    uint8_t key = kConfidentialSeed;
    for (size_t i = 0; i < result.size(); ++i) {
        result[i] = static_cast<char>(static_cast<uint8_t>(result[i]) ^ key);
        ++key;
        if ((i + 1) % kKeyPeriod == 0) {
            key = kConfidentialSeed;
        }
    }
    return result;
}

std::optional<int> PageCount(size_t characters, int max_length) {
    if (max_length <= kPageOverhead) {
        return std::nullopt;
    }
    if (characters <= static_cast<size_t>(max_length)) {
        return 1;
    }
    const size_t per_page = static_cast<size_t>(max_length - kPageOverhead);
    return static_cast<int>((characters + per_page - 1) / per_page);
}

tvPageMsg::tvPageMsg(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
    LogNew();
}

tvPageMsg::~tvPageMsg() = default;

cvBobRoot<tvPageMsg> tvPageMsg::Create(cvFileMgr& manager) {
    cvFile* file = manager.OpenTable(kPageMsgTable);
    if (!file) {
        return {};
    }
    return NewBobRoot<tvPageMsg>(nullptr, cvRec(*file));
}

cvBobRoot<tvPageMsg> tvPageMsg::Load(cvFileMgr& manager, int32_t number) {
    std::optional<cvRec> row = ReadRowByNumber(manager, kPageMsgTable, "PAGEMSGNBR", number);
    if (!row) {
        return {};
    }
    return NewBobRoot<tvPageMsg>(nullptr, *row);
}

bool tvPageMsg::IsKindOf(std::string_view class_name) const {
    return class_name == "tvPageMsg" || cvBob::IsKindOf(class_name);
}

bool tvPageMsg::IsConfidential() const {
    return IsYes(cvBob::GetText("QCONFIDENTIAL", 1));
}

std::string tvPageMsg::GetText(std::string_view name, int format) const {
    if (name == "TEXT" && IsConfidential()) {
        return std::string(kConfidentialText);
    }
    if (name == "PAGENETNBR" && !Table().FindField(name, false)) {
        // The links are a cache: loading them does not change what the message is.
        tvPageDev* device = const_cast<tvPageMsg*>(this)->Device();
        return device ? device->GetText("PAGENETNBR", format) : std::string();
    }
    return cvBob::GetText(name, format);
}

int32_t tvPageMsg::GetInt(std::string_view name) const {
    if (name == "PAGENETNBR" && !Table().FindField(name, false)) {
        tvPageDev* device = const_cast<tvPageMsg*>(this)->Device();
        return device ? device->GetInt("PAGENETNBR") : 0;
    }
    return cvBob::GetInt(name);
}

std::string tvPageMsg::PlainText() const {
    if (IsConfidential()) {
        return ConfidentialTransform(StoredTextBytes(*this));
    }
    return cvBob::GetText("TEXT", 1);
}

std::string PlainTextOf(const cvRec& message) {
    if (IsYes(message.cvRec::GetText("QCONFIDENTIAL", 1))) {
        return ConfidentialTransform(StoredTextBytes(message));
    }
    return message.cvRec::GetText("TEXT", 1);
}

int tvPageMsg::PutInt(std::string_view name, int32_t value) {
    if (name == "PAGENETNBR") {
        ReleaseReference(network_);
        if (!Table().FindField(name, false)) {
            return 1;  // read through the device; nothing stored here
        }
    } else if (name == "PAGEDEVNBR" && value != GetInt(name)) {
        ReleaseReference(device_);
        ReleaseReference(network_);
    }
    return cvBob::PutInt(name, value);
}

int tvPageMsg::PutString(std::string_view name, std::string_view text) {
    if (name == "TEXT" && IsConfidential()) {
        const std::string hidden = ConfidentialTransform(text);
        if (StoredTextBytes(*this) == hidden) {
            return 1;
        }
        return cvBob::PutString(name, hidden);
    }
    if (name == "QCONFIDENTIAL" && IsYes(text) != IsConfidential()) {
        // Written past the change detection: the "Confidential" it reads for a hidden
        // text may well equal the plain text.
        const std::string stored = StoredTextBytes(*this);
        if (!stored.empty() && !cvRec::PutString("TEXT", ConfidentialTransform(stored))) {
            return 0;
        }
        const int result = cvBob::PutString(name, text);
        if (!result && !stored.empty()) {
            static_cast<void>(cvRec::PutString("TEXT", stored));
        }
        return result;
    }
    return cvBob::PutString(name, text);
}

void tvPageMsg::GetReferenceSlots(std::vector<cvBobSlot*>& slots) {
    cvBob::GetReferenceSlots(slots);
    slots.push_back(&device_);
    slots.push_back(&network_);
}

tvPageDev* tvPageMsg::Device() {
    if (!device_) {
        const int32_t number = cvBob::GetInt("PAGEDEVNBR");
        if (number != 0) {
            device_ = AsKind<tvPageDev>(GetObject(kPageDevType, number), "tvPageDev");
        }
    }
    return device_.get();
}

tvPageNet* tvPageMsg::Network() {
    if (!network_) {
        tvPageDev* device = Device();
        const int32_t number = device ? device->GetInt("PAGENETNBR") : 0;
        if (number != 0) {
            network_ = AsKind<tvPageNet>(GetObject(kPageNetType, number), "tvPageNet");
        }
    }
    return network_.get();
}

int tvPageMsg::MaxTextLength() {
    tvPageDev* device = Device();
    tvPageNet* network = Network();
    if (!device || !network) {
        return 0;
    }
    // A negative limit is no more a limit than 0 is.
    const int of_device = std::max(0, device->GetInt("MAXMSGLEN"));
    const int of_network = std::max(0, network->GetInt("MAXMSGLEN"));
    if (of_device != 0 && of_network != 0) {
        return std::min(of_device, of_network);
    }
    if (of_device != 0 || of_network != 0) {
        return std::max(of_device, of_network);
    }
    return TextFieldWidth(Table(), "TEXT");
}

int tvPageMsg::PreSave() {
    if (Position() != 0) {
        return 0;  // stored already: expanded when it was first saved
    }
    if (!ClearProvisionalNumber(*this, "PAGEMSGNBR")) {
        return -1;
    }
    return ExpandGroup();
}

int tvPageMsg::ExpandGroup() {
    tvPageDev* recipient = Device();
    if (!recipient || !recipient->IsGroup()) {
        return 0;
    }
    // The group stays referenced while this message moves to its first member.
    const cvBobRef<tvPageDev> group = cvBobRef<tvPageDev>::Shared(recipient);
    cvBobSet& members = group->Members();
    std::vector<int32_t> devices;
    for (int i = 0; i < members.GetCount(); ++i) {
        if (const tvGroupMember* member = AsGroupMember(members.GetAt(i))) {
            devices.push_back(member->DeviceNumber());
        }
    }
    if (devices.empty()) {
        return 0;  // a group without members stays the recipient
    }
    if (!PutInt("PAGEDEVNBR", devices.front())) {
        return -1;
    }
    cvRecSet copies;
    for (size_t i = 1; i < devices.size(); ++i) {
        cvRec copy(static_cast<const cvRec&>(*this));
        if (!copy.PutInt("PAGEMSGNBR", 0) || !copy.PutInt("PAGEDEVNBR", devices[i]) ||
            !copies.Add(copy)) {
            return -1;
        }
    }
    for (int i = 0; i < copies.GetCount(); ++i) {
        const int status = copies.GetAt(i)->Save(true);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}
