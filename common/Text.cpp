#include "common/Text.h"

namespace parvell {

std::string FormatMessage(std::string_view pattern, std::initializer_list<MessageArg> args) {
    std::string out;
    out.reserve(pattern.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size()) {
            char k = pattern[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 's' || k == 'd') {
                if (next != args.end()) out += (next++)->Text();
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace parvell
