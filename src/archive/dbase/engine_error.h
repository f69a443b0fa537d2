// The table engine's error: a clear English message that names the file.
#pragma once

#include "platform/error.h"

namespace dbase {

class EngineError : public platform::Error {
public:
    using platform::Error::Error;
};

// A change that failed after its record was made durable: the record is
// stored (a retry would store it twice), but something after it went wrong.
class RecordStoredError : public EngineError {
public:
    using EngineError::EngineError;
};

}  // namespace dbase
