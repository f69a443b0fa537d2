// The table engine's error: a clear English message that names the file.
#pragma once

#include "platform/error.h"

namespace dbase {

class EngineError : public platform::Error {
public:
    using platform::Error::Error;
};

}  // namespace dbase
