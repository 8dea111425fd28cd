#include "ThreadWait.h"

#include "PumpingJoin.h"

namespace presence {

void JoinPumping(HANDLE* thread) {
    if (!*thread) return;
    vantor::JoinPumping(*thread);
    CloseHandle(*thread);
    *thread = nullptr;
}

}  // namespace presence
