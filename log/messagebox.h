#pragma once
// Message-box styles and answers understood by the application's one message-box
// operation (cvEventLog::MessageBox). The values are the classic ones, so that a
// style reads the same wherever it is composed: buttons in the low nibble, the icon
// in the next, the default button above that.

#include <cstdint>

enum MessageBoxStyle : unsigned {
    kMbOk = 0x0000,
    kMbOkCancel = 0x0001,
    kMbYesNoCancel = 0x0003,
    kMbYesNo = 0x0004,
    kMbRetryCancel = 0x0005,
    kMbIconError = 0x0010,
    kMbIconQuestion = 0x0020,
    kMbIconWarning = 0x0030,
    kMbIconInformation = 0x0040,
    kMbDefButton2 = 0x0100,
};

constexpr unsigned kMbButtonMask = 0x000F;
constexpr unsigned kMbIconMask = 0x00F0;

enum MessageBoxAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdRetry = 4,
    kIdYes = 6,
    kIdNo = 7,
};
