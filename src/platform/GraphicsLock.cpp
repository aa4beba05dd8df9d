#include "platform/GraphicsLock.h"

std::recursive_mutex& GraphicsLock() {
    static std::recursive_mutex lock;
    return lock;
}
