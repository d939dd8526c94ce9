#pragma once
// The program's exception classes. Every failure inside the program is one of these, carrying a
// single-byte (Windows-1252) message; the application's one error handler shows the message.

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace parvell {

// The generic exception: a message and nothing else.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Dataset and field errors. When a dataset is involved the message already carries the dataset's
// component name and ": " in front.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// Engine errors: the engine's error code and text, and what could be learnt about where it
// happened. The engine components fill the details; texts are empty when unknown.
class EKDBDatabaseError : public EDatabaseError {
public:
    EKDBDatabaseError(std::string message, uint32_t errorCode)
        : EDatabaseError(std::move(message)), errorCode_(errorCode) {}

    uint32_t ErrorCode() const noexcept { return errorCode_; }
    int32_t SQLErrorCode() const noexcept { return sqlErrorCode_; }
    void SetSQLErrorCode(int32_t code) noexcept { sqlErrorCode_ = code; }

    std::string DataSetName;
    std::string DataSetOwnerName;
    std::string DatabaseName;
    std::string DatabasePath;
    std::string TableName;
    std::string ColumnName;

private:
    uint32_t errorCode_;
    int32_t sqlErrorCode_ = 0;
};

// Connection and settings component errors; a message only.
class KdbConnectionError : public Exception {
public:
    using Exception::Exception;
};
class KdbSettingsError : public Exception {
public:
    using Exception::Exception;
};
class KdbError : public Exception {
public:
    using Exception::Exception;
};

// Text-to-value conversions that fail.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Positions out of range: "List index out of bounds (%d)".
class EListError : public Exception {
public:
    explicit EListError(int index);
    using Exception::Exception;
};

// Text-file input and output. The message follows from the operating system's error code.
class EInOutError : public Exception {
public:
    explicit EInOutError(int errorCode);
    int ErrorCode() const noexcept { return errorCode_; }
    // The message for an in/out error code: 2 "File not found", 101 "Disk full", ...
    static std::string MessageFor(int errorCode);

private:
    int errorCode_;
};

// Settings store errors.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

}  // namespace parvell
