#include "platform/core/asciitext.h"

#include <iconv.h>
#include <locale.h>

#include <cstddef>
#include <string>

namespace platform {

namespace {

// The length of the UTF-8 sequence a lead byte starts, or 0 for a byte that cannot
// start one.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// A UTF-8 locale for this thread while it lives; transliteration follows the locale's
// character type tables. Without any UTF-8 locale the text still converts, but
// characters outside ASCII are dropped.
class ThreadUtf8Locale {
  public:
    ThreadUtf8Locale() {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            locale_ = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (locale_ != static_cast<locale_t>(nullptr)) {
                previous_ = uselocale(locale_);
                return;
            }
        }
    }
    ~ThreadUtf8Locale() {
        if (locale_ != static_cast<locale_t>(nullptr)) {
            uselocale(previous_);
            freelocale(locale_);
        }
    }
    ThreadUtf8Locale(const ThreadUtf8Locale&) = delete;
    ThreadUtf8Locale& operator=(const ThreadUtf8Locale&) = delete;

  private:
    locale_t locale_ = static_cast<locale_t>(nullptr);
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

class Converter {
  public:
    Converter() : handle_(iconv_open("ASCII//TRANSLIT", "UTF-8")) {}
    ~Converter() {
        if (Ready()) {
            iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ready() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // The ASCII form of one UTF-8 character, or "" when it has none. The library
    // writes "?" for a character it cannot transliterate; a real "?" never reaches
    // here, as ASCII passes by.
    std::string Convert(const std::string& character) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string in = character;
        char out[32];
        char* in_at = in.data();
        size_t in_left = in.size();
        char* out_at = out;
        size_t out_left = sizeof(out);
        if (iconv(handle_, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1)) {
            return "";
        }
        std::string ascii(out, static_cast<size_t>(out_at - out));
        if (ascii.find_first_not_of('?') == std::string::npos) {
            return "";
        }
        return ascii;
    }

  private:
    iconv_t handle_;
};

}  // namespace

std::string TransliterateToAscii(const std::string& text) {
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) < 0x80) {
        ++first;
    }
    if (first == text.size()) {
        return text;  // plain ASCII, the usual case: nothing to set up
    }

    const ThreadUtf8Locale locale;
    Converter converter;
    std::string ascii = text.substr(0, first);
    ascii.reserve(text.size());
    size_t at = first;
    while (at < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            ascii.push_back(static_cast<char>(lead));
            ++at;
            continue;
        }
        const size_t length = SequenceLength(lead);
        bool whole = length > 0 && at + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k) {
            whole = IsContinuation(static_cast<unsigned char>(text[at + k]));
        }
        if (!whole) {
            ++at;  // a stray byte: not text, dropped
            continue;
        }
        if (converter.Ready()) {
            ascii += converter.Convert(text.substr(at, length));
        }
        at += length;
    }
    return ascii;
}

}  // namespace platform
