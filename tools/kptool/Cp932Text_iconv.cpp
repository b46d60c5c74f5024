#include "Cp932Text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

namespace kp::tool {

namespace {

// One conversion descriptor, closed on every way out.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() { iconv_close(m_cd); }

    // Converts as much of [*in, *in + *left) as it can, appending to `out`. Returns 0 when all
    // was converted, else the errno of the stop (EILSEQ, EINVAL); *in and *left tell where.
    int Run(const char** in, std::size_t* left, std::string& out) {
        char buffer[256];
        while (*left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            // glibc declares the input as char**; the bytes are not written.
            char* src = const_cast<char*>(*in);
            const std::size_t r = iconv(m_cd, &src, left, &dst, &room);
            *in = src;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG)
                return errno;
        }
        return 0;
    }
    void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

} // namespace

std::string Cp932ToUtf8(std::string_view text) {
    Converter cv("UTF-8", "CP932");
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A zero byte is shown, not converted, so that it cannot end a C string in the output.
        const std::size_t zero = text.find('\0', pos);
        const std::size_t end = zero == std::string_view::npos ? text.size() : zero;
        const char* in = text.data() + pos;
        std::size_t left = end - pos;
        while (left > 0 && cv.Run(&in, &left, out) != 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(*in));
            out += hex;
            ++in;
            --left;
            cv.Reset();
        }
        pos = end;
        if (zero != std::string_view::npos) {
            out += "\\x00";
            ++pos;
        }
    }
    return out;
}

bool Utf8ToCp932(std::string_view text, std::string& out) {
    Converter cv("CP932", "UTF-8");
    std::string result;
    const char* in = text.data();
    std::size_t left = text.size();
    if (cv.Run(&in, &left, result) != 0)
        return false;
    out = std::move(result);
    return true;
}

bool ConvertsFromCp932(std::string_view text) {
    Converter cv("UTF-8", "CP932");
    std::string ignored;
    const char* in = text.data();
    std::size_t left = text.size();
    return cv.Run(&in, &left, ignored) == 0;
}

} // namespace kp::tool
