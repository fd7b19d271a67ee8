#include "platform/core/asciitext.h"

#include <iconv.h>
#include <locale.h>

#include <cstddef>
#include <mutex>
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

// The C library's locale and conversion tables are loaded under its own locks, which a
// thread checker cannot see; so they are set up once, and every conversion runs under
// one lock of ours. Non-ASCII text is rare and short: the lock costs nothing that shows.
std::mutex g_conversion_mutex;

// A UTF-8 locale, made once and kept for the process; without any, characters outside
// ASCII are dropped.
locale_t Utf8Locale() {
    static const locale_t locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            const locale_t made = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (made != static_cast<locale_t>(nullptr)) {
                return made;
            }
        }
        return static_cast<locale_t>(nullptr);
    }();
    return locale;
}

// Transliteration follows the locale's character type tables: the UTF-8 locale is the
// calling thread's while this lives.
class ThreadUtf8Locale {
  public:
    ThreadUtf8Locale() {
        if (Utf8Locale() != static_cast<locale_t>(nullptr)) {
            previous_ = uselocale(Utf8Locale());
        }
    }
    ~ThreadUtf8Locale() {
        if (previous_ != static_cast<locale_t>(nullptr)) {
            uselocale(previous_);
        }
    }
    ThreadUtf8Locale(const ThreadUtf8Locale&) = delete;
    ThreadUtf8Locale& operator=(const ThreadUtf8Locale&) = delete;

  private:
    locale_t previous_ = static_cast<locale_t>(nullptr);
};

// The ASCII form of one UTF-8 character, or "" when it has none. The library writes
// "?" for a character it cannot transliterate; a real "?" never reaches here, as ASCII
// passes by. Called under g_conversion_mutex with the UTF-8 locale in force.
std::string Convert(const std::string& character) {
    static const iconv_t handle = iconv_open("ASCII//TRANSLIT", "UTF-8");
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return "";
    }
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::string in = character;
    char out[32];
    char* in_at = in.data();
    size_t in_left = in.size();
    char* out_at = out;
    size_t out_left = sizeof(out);
    if (iconv(handle, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1)) {
        return "";
    }
    std::string ascii(out, static_cast<size_t>(out_at - out));
    if (ascii.find_first_not_of('?') == std::string::npos) {
        return "";
    }
    return ascii;
}

}  // namespace

std::string TransliterateToAscii(const std::string& text) {
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) < 0x80) {
        ++first;
    }
    if (first == text.size()) {
        return text;  // plain ASCII, the usual case: nothing to set up
    }

    const std::lock_guard lock(g_conversion_mutex);
    const ThreadUtf8Locale locale;
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
        ascii += Convert(text.substr(at, length));
        at += length;
    }
    return ascii;
}

}  // namespace platform
