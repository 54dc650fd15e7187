#include "tools/pelvaro-decode/Windows1252.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <stdexcept>

namespace pelvaro {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// A byte the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D), which iconv
// refuses: Windows maps it to the C1 control of the same value.
void AppendControl(unsigned char byte, std::string& out) {
    out += static_cast<char>(0xC0 | (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
    const iconv_t opened = iconv_open("UTF-8", "WINDOWS-1252");
    if (opened == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("this system cannot convert from Windows-1252");
    }
    const std::unique_ptr<void, IconvCloser> cd(opened);
    std::string out;
    std::string buffer(3 * text.size(), '\0');  // one byte gives at most three
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* to = buffer.data();
        std::size_t toLeft = buffer.size();
        const std::size_t done = iconv(static_cast<iconv_t>(cd.get()), &in, &inLeft, &to, &toLeft);
        out.append(buffer.data(), buffer.size() - toLeft);
        if (done != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ) throw std::runtime_error("cannot convert from Windows-1252");
        AppendControl(static_cast<unsigned char>(*in), out);
        ++in;
        --inLeft;
    }
    return out;
}

}  // namespace pelvaro
