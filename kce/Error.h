#pragma once
// Engine errors inside the library: thrown as kce::Error, turned into a result code and the
// thread's last error at the C boundary (Guard). Codes are those listed in kce/kce.h.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace kce {

class Error : public std::exception {
public:
    Error(uint32_t code, std::string text) : code_(code), text_(std::move(text)) {}
    uint32_t Code() const noexcept { return code_; }
    const char* what() const noexcept override { return text_.c_str(); }
    const std::string& Text() const noexcept { return text_; }

private:
    uint32_t code_;
    std::string text_;
};

// The generic text of a code ("" for an unknown code).
std::string_view GenericText(uint32_t code);

// An error with the code's generic text, followed by detail when given.
[[noreturn]] void Fail(uint32_t code, std::string_view detail = {});

// The text of an SQL error: "Error 7200: NativeError = N; message", followed by the position (a
// 0-based byte offset into sql) as line and column when the message does not name it.
std::string SqlErrorText(int nativeError, size_t position, std::string_view message,
                         std::string_view sql);
[[noreturn]] void FailSql(int nativeError, std::string_view message);

void SetLastError(uint32_t code, std::string text);
uint32_t LastErrorCode();
const std::string& LastErrorText();

// The engine error that the exception being handled stands for (5002 for memory, 5999 for anything
// but an engine error). Call only while an exception is handled (in a catch block).
Error CaughtError() noexcept;

// Runs body and turns every exception into a result code and the thread's last error, so nothing
// crosses the C interface.
template <typename Body>
uint32_t Guard(Body&& body) noexcept {
    try {
        body();
        return 0;
    } catch (...) {
        const Error error = CaughtError();
        SetLastError(error.Code(), error.Text());
        return error.Code();
    }
}

// Copies text into a caller's buffer by the interface's rules (see kce/kce.h): throws 5005 with
// the needed length written to *len when it does not fit.
template <typename Len>
void PutText(std::string_view text, char* buf, Len* len);

}  // namespace kce
