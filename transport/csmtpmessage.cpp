#include "transport/csmtpmessage.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string HeaderValue(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

std::string JoinDisplayForms(const std::vector<CSMTPAddress>& list) {
    std::string joined;
    for (const CSMTPAddress& address : list) {
        if (!joined.empty()) {
            joined += ",";
        }
        joined += address.DisplayForm();
    }
    return joined;
}

}  // namespace

int CSMTPMessage::AddRecipient(const CSMTPAddress& recipient, int list) {
    if (list < kTo || list > kBcc) {
        return -1;
    }
    lists_[list].push_back(recipient);
    return static_cast<int>(lists_[list].size()) - 1;
}

const std::vector<CSMTPAddress>& CSMTPMessage::Recipients(int list) const {
    static const std::vector<CSMTPAddress> kNone;
    return list < kTo || list > kBcc ? kNone : lists_[list];
}

void CSMTPMessage::SetBody(const std::string& text) {
    body_.clear();
    body_.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' && (i == 0 || text[i - 1] == '\n')) {
            body_.push_back('.');
        }
        body_.push_back(text[i]);
    }
}

std::string CSMTPMessage::GetHeader() const {
    return HeaderAt(std::time(nullptr));
}

std::string CSMTPMessage::HeaderAt(std::time_t now) const {
    std::string header = "From: " + HeaderValue(from.DisplayForm()) + "\r\n";
    header += "To: " + HeaderValue(JoinDisplayForms(lists_[kTo])) + "\r\n";
    if (!lists_[kCc].empty()) {
        header += "Cc: " + HeaderValue(JoinDisplayForms(lists_[kCc])) + "\r\n";
    }
    if (!subject.empty()) {
        header += "Subject: " + HeaderValue(subject) + "\r\n";
    }
    header += "Date: " + SmtpDate(now) + "\r\n";
    if (!reply_to.address.empty()) {
        header += "Reply-To: " + HeaderValue(reply_to.DisplayForm()) + "\r\n";
    }
    header += "MIME-Version: 1.0\r\nContent-type: " + HeaderValue(content_type) +
              "; charset=US-ASCII\r\n";
    header += "\r\n";
    return header;
}

std::string SmtpDate(std::time_t now) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return {};
    }
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d ", kDays[local.tm_wday % 7],
                  local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec);
    // The zone's offset at that moment, daylight time included; the bias is its
    // negative in minutes.
    const int bias = static_cast<int>(-local.tm_gmtoff / 60);
    return text + ZoneOffset(bias);
}

std::string ZoneOffset(int bias_minutes) {
    // The sign is the bias's own, so that offsets under an hour keep theirs.
    const char sign = bias_minutes > 0 ? '-' : '+';
    const int magnitude = std::abs(bias_minutes);
    char text[16] = {};
    std::snprintf(text, sizeof(text), "%c%02d%02d", sign, magnitude / 60, magnitude % 60);
    return text;
}
