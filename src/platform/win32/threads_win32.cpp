// Threads, the tick counter and sleeping.
#include <memory>
#include <utility>

#include "platform/threads.h"
#include "platform/win32/win32.h"

namespace platform {

using win32::to_handle;

namespace {

struct Start {
  void (*body)(void*);
  void* arg;
};

DWORD WINAPI run_thread(LPVOID param) {
  // The start record is the thread's own from here on.
  std::unique_ptr<Start> start(static_cast<Start*>(param));
  start->body(start->arg);
  return 0;
}

HANDLE create(void (*body)(void*), void* arg, std::size_t stack_size) {
  auto start = std::make_unique<Start>(Start{body, arg});
  const DWORD flags = stack_size != 0 ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0;
  HANDLE h = ::CreateThread(nullptr, stack_size, run_thread, start.get(), flags, nullptr);
  if (h != nullptr) start.release();  // now owned by run_thread
  return h;
}

}  // namespace

bool start_detached_thread(void (*body)(void*), void* arg, std::size_t stack_size) {
  HANDLE h = create(body, arg, stack_size);
  if (h == nullptr) return false;
  // The thread object lives on until the thread ends; only our reference goes.
  ::CloseHandle(h);
  return true;
}

struct Thread::Impl {
  HANDLE handle;
};

Thread::Thread(Thread&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }

Thread& Thread::operator=(Thread&& o) noexcept {
  if (this != &o) {
    Thread old(std::move(*this));  // closes the old handle when it goes
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

Thread::~Thread() {
  if (impl_ == nullptr) return;
  ::CloseHandle(impl_->handle);
  delete impl_;
  impl_ = nullptr;
}

bool Thread::wait(std::uint32_t ms) {
  if (impl_ == nullptr) return false;
  return ::WaitForSingleObject(impl_->handle, ms) == WAIT_OBJECT_0;
}

Thread start_thread(void (*body)(void*), void* arg) {
  Thread t;
  HANDLE h = create(body, arg, 0);
  if (h != nullptr) t.impl_ = new Thread::Impl{h};
  return t;
}

std::uint32_t tick_ms() {
  // GetTickCount is 32 bits wide and wraps after 2^32 ms, which the callers'
  // deadline arithmetic expects.
  return ::GetTickCount();
}

void sleep_ms(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace platform
