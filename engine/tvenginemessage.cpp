#include "engine/tvenginemessage.h"

#include <algorithm>
#include <utility>

#include "model/tvpagemsg.h"
#include "storage/cvddfield.h"
#include "storage/cvfile.h"
#include "storage/datatype.h"

cvRec CopyOfCurrentRow(const cvFile& file) {
    const cvBuffer& row = file.DataBuffer();
    return cvRec(file.Table(), row.Data(), row.Length());
}

std::optional<cvRec> FindByNumber(cvFile& file, const char* field, int32_t number) {
    if (number == 0 || file.PutInt(field, number) == 0) {
        return std::nullopt;
    }
    if (file.GetEqual(0) != 0) {
        return std::nullopt;
    }
    return CopyOfCurrentRow(file);
}

tvEngineMessage tvEngineMessage::FromCurrentRow(const tvEngineTables& tables) {
    // Stored in place: the copy carries the row's position, so Save updates it.
    tvEngineMessage message(cvRec(*tables.messages, cvRec::kFromFile));
    message.device_ =
        FindByNumber(*tables.devices, "PAGEDEVNBR", message.message_.GetInt("PAGEDEVNBR"));
    if (message.device_) {
        message.network_ =
            FindByNumber(*tables.networks, "PAGENETNBR", message.device_->GetInt("PAGENETNBR"));
    }
    return message;
}

int32_t tvEngineMessage::NetworkNumber() const {
    return network_ ? network_->GetInt("PAGENETNBR") : 0;
}

bool tvEngineMessage::Confidential() const {
    return message_.GetText("QCONFIDENTIAL") == "Y";
}

std::string tvEngineMessage::PlainText() const {
    // A confidential text is stored hidden; the carrier gets it as typed.
    return PlainTextOf(message_);
}

int tvEngineMessage::MaxTextLength() const {
    const int device_limit = device_ ? device_->GetInt("MAXMSGLEN") : 0;
    const int network_limit = network_ ? network_->GetInt("MAXMSGLEN") : 0;
    if (device_limit > 0 && network_limit > 0) {
        return std::min(device_limit, network_limit);
    }
    if (device_limit > 0 || network_limit > 0) {
        return std::max(device_limit, network_limit);
    }
    const cvDDField* text = message_.Table().FindField("TEXT");
    if (text == nullptr) {
        return 0;
    }
    // A zero-terminated text keeps its last byte for the terminator.
    return text->DataType() == kTypeZString ? text->Size() - 1 : text->Size();
}

MessageRowFacts tvEngineMessage::RowFacts() const {
    MessageRowFacts facts;
    facts.device_number = message_.GetInt("PAGEDEVNBR");
    if (device_) {
        facts.device = device_->GetText("DESCRIPTION");
        facts.network_number = device_->GetInt("PAGENETNBR");
    }
    if (network_) {
        facts.network = network_->GetText("DESCRIPTION");
    }
    facts.status = Status();
    facts.attempts = message_.GetInt("ATTEMPTS");
    return facts;
}
