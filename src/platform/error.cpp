#include "platform/error.h"

namespace platform {

Error::Error(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

}  // namespace platform
