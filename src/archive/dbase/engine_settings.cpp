#include "archive/dbase/engine_settings.h"

namespace dbase {
namespace {
bool sharedAccess = true;
int lockTimeout = 10000;
}  // namespace

void setLocalShare(bool shared) {
    sharedAccess = shared;
}
bool localShare() {
    return sharedAccess;
}

void setLockTimeoutMs(int milliseconds) {
    lockTimeout = milliseconds < 0 ? 0 : milliseconds;
}
int lockTimeoutMs() {
    return lockTimeout;
}

}  // namespace dbase
