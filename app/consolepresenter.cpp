#include "app/consolepresenter.h"

#include <string>

#include "log/messagebox.h"

namespace {

const char* AnswerName(int answer) {
    switch (answer) {
        case kIdYes:
            return "Yes";
        case kIdNo:
            return "No";
        case kIdCancel:
            return "Cancel";
        case kIdRetry:
            return "Retry";
        default:
            return "OK";
    }
}

}  // namespace

int ConsoleAnswer(unsigned style, bool assume_yes) {
    switch (style & kMbButtonMask) {
        case kMbYesNo:
            return assume_yes ? kIdYes : kIdNo;
        case kMbYesNoCancel:
            return assume_yes ? kIdYes : kIdCancel;
        case kMbOkCancel:
            return assume_yes ? kIdOk : kIdCancel;
        case kMbRetryCancel:
            return assume_yes ? kIdRetry : kIdCancel;
        default:
            return kIdOk;
    }
}

cvEventLog::Presenter ConsolePresenter(std::FILE* stream, bool assume_yes) {
    return [stream, assume_yes](const std::string& text, unsigned style, unsigned) {
        const int answer = ConsoleAnswer(style, assume_yes);
        std::string shown = text;
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == ' ')) {
            shown.pop_back();
        }
        if ((style & kMbButtonMask) != kMbOk) {
            shown += std::string(" [") + AnswerName(answer) + "]";
        }
        std::fprintf(stream, "%s\n", shown.c_str());
        std::fflush(stream);
        return answer;
    };
}
