// Fuzz target: the SQL file reader. Any bytes must load as some text without a crash, and any text
// must survive being saved as RTF and read back (with its line ends made CR LF, as the reader
// gives every line end).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/core/Rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    (void)parvell::RtfToText(bytes);
    (void)parvell::RtfToUtf8Text(bytes);
    (void)parvell::SqlFileText(bytes);

    std::string expected;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            expected += "\r\n";
        } else {
            expected += bytes[i];
        }
    }
    std::optional<std::string> back = parvell::RtfToText(parvell::TextToRtf(bytes));
    if (!back || *back != expected) {
        std::fprintf(stderr, "text did not survive TextToRtf and RtfToText\n");
        std::abort();
    }
    return 0;
}
