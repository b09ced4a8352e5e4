#pragma once

// Internal helpers shared by the database layer's translation units.

#include "core/errors.h"
#include "core/value.h"

#include <firebird/Interface.h>

#include <string>
#include <utility>

namespace edi::db::detail {

// Formats the engine's status vector into the text the engine would print, and gives the first GDS code.
std::string formatStatus(const Firebird::IStatus* status);
long gdsCode(const Firebird::IStatus* status);

// Turns an engine exception into a DatabaseError; `context` is put in front of the engine's text when not empty.
[[noreturn]] void rethrow(const Firebird::FbException& e, const std::string& context = "");

// Smallest and largest value of an integer storage type, in units of its scale.
std::pair<int64_t, int64_t> integerLimits(FieldType storage);
// Throws the RangeError a person reads when a value does not fit the column or parameter `name`.
[[noreturn]] void refuseOutOfRange(const std::string& name, const Value& value, FieldType storage, int scale);

// Owns an IStatus for a run of calls that throw FbException on failure.
class Status {
public:
    Status();
    ~Status();
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }

private:
    Firebird::IStatus* status_;
    Firebird::ThrowStatusWrapper wrapper_;
};

} // namespace edi::db::detail
