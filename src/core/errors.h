#pragma once

#include <stdexcept>
#include <string>

namespace edi {

// Every error the product raises derives from Error, so a stage can report any of them the same way.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised by the database layer; carries the engine's GDS code for classification.
class DatabaseError : public Error {
public:
    DatabaseError(const std::string& message, long gdsCode = 0) : Error(message), gdsCode_(gdsCode) {}
    long gdsCode() const { return gdsCode_; }

private:
    long gdsCode_;
};

class IoError : public Error {
public:
    using Error::Error;
};

// A value that cannot be converted to the type asked for.
class ConversionError : public Error {
public:
    using Error::Error;
};

// A number too large or too small for the type asked for.
class RangeError : public ConversionError {
public:
    using ConversionError::ConversionError;
};

// A data packet that is not readable (structure or values).
class PacketError : public Error {
public:
    using Error::Error;
};

class TransportError : public Error {
public:
    using Error::Error;
};

// Cancels an operation after it has told the user what it had to say; callers swallow it silently.
class Abort : public Error {
public:
    Abort() : Error("Operação cancelada") {}
};

} // namespace edi
