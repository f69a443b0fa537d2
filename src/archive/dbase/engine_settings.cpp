#include "archive/dbase/engine_settings.h"

namespace dbase {
namespace {
bool sharedAccess = true;
}

void setLocalShare(bool shared) {
    sharedAccess = shared;
}
bool localShare() {
    return sharedAccess;
}

}  // namespace dbase
