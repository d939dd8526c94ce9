#pragma once
// Message composition without printf: each "%s" or "%d" of a fixed pattern takes the next
// argument's text in order ("%%" is a percent sign). Values never act as patterns, so a value that
// holds "%s" is written as it stands.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace parvell {

// One argument of FormatMessage: a text, or a whole number turned into decimal text.
class MessageArg {
public:
    MessageArg(std::string_view text) : text_(text) {}
    MessageArg(const std::string& text) : text_(text) {}
    MessageArg(const char* text) : text_(text ? text : "") {}
    MessageArg(int value) : text_(std::to_string(value)) {}
    MessageArg(long value) : text_(std::to_string(value)) {}
    MessageArg(long long value) : text_(std::to_string(value)) {}
    MessageArg(unsigned value) : text_(std::to_string(value)) {}
    MessageArg(unsigned long value) : text_(std::to_string(value)) {}
    MessageArg(unsigned long long value) : text_(std::to_string(value)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

std::string FormatMessage(std::string_view pattern, std::initializer_list<MessageArg> args);

}  // namespace parvell
