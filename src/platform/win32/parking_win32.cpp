// The lock and wake-up signal that park idle worker threads, on Windows:
// a slim reader/writer lock used exclusively and a condition variable, which
// need no clean-up.
#include <new>

#include "platform/threads.h"
#include "platform/win32/win32.h"

namespace platform {
namespace {

static_assert(sizeof(SRWLOCK) <= 64 && sizeof(CONDITION_VARIABLE) <= 64);

SRWLOCK* lock_in(unsigned char* storage) { return std::launder(reinterpret_cast<SRWLOCK*>(storage)); }
CONDITION_VARIABLE* cond_in(unsigned char* storage) {
  return std::launder(reinterpret_cast<CONDITION_VARIABLE*>(storage));
}

}  // namespace

ParkingLock::ParkingLock() { ::InitializeSRWLock(new (storage_) SRWLOCK); }
ParkingLock::~ParkingLock() = default;
void ParkingLock::lock() { ::AcquireSRWLockExclusive(lock_in(storage_)); }
void ParkingLock::unlock() { ::ReleaseSRWLockExclusive(lock_in(storage_)); }

ParkingSignal::ParkingSignal() { ::InitializeConditionVariable(new (storage_) CONDITION_VARIABLE); }
ParkingSignal::~ParkingSignal() = default;

bool ParkingSignal::wait(ParkingLock& lock, std::uint32_t ms) {
  if (::SleepConditionVariableSRW(cond_in(storage_), lock_in(lock.storage_), ms, 0)) return true;
  return ::GetLastError() != ERROR_TIMEOUT;
}

void ParkingSignal::wake() { ::WakeAllConditionVariable(cond_in(storage_)); }

}  // namespace platform
