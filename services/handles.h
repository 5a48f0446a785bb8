// Scoped owners of the resources the program takes from Windows, each released
// through TOs. Releasing keeps GetLastError() as it was, so an error code read
// after a failed call survives the clean-up of whatever was open.
#pragma once

#include <utility>

#include "services/os.h"

template <typename Traits>
class TUniqueOsResource {
 public:
  using Type = typename Traits::Type;

  explicit TUniqueOsResource(TOs& os, Type value = Traits::Empty()) : Os_(&os), Value_(value) {}
  ~TUniqueOsResource() { reset(); }
  TUniqueOsResource(TUniqueOsResource&& other) noexcept : Os_(other.Os_), Value_(other.release()) {}
  TUniqueOsResource& operator=(TUniqueOsResource&& other) noexcept {
    if (this != &other) {
      reset();
      Os_ = other.Os_;
      Value_ = other.release();
    }
    return *this;
  }
  TUniqueOsResource(const TUniqueOsResource&) = delete;
  TUniqueOsResource& operator=(const TUniqueOsResource&) = delete;

  Type get() const { return Value_; }
  explicit operator bool() const { return Value_ != Traits::Empty(); }

  // Gives up ownership without releasing.
  Type release() { return std::exchange(Value_, Traits::Empty()); }

  // Releases what is held (if anything) and takes `value`.
  void reset(Type value = Traits::Empty()) {
    const Type old = std::exchange(Value_, value);
    if (old == Traits::Empty()) return;
    const DWORD lastError = Os_->GetLastError();
    Traits::Release(*Os_, old);
    Os_->SetLastError(lastError);
  }

  // For out-parameters: releases what is held and gives the slot to fill.
  Type* put() {
    reset();
    return &Value_;
  }

 private:
  TOs* Os_;
  Type Value_;
};

struct KeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static void Release(TOs& os, Type key) { os.RegCloseKey(key); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Release(TOs& os, Type handle) { os.FindClose(handle); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Release(TOs& os, Type handle) { os.CloseHandle(handle); }
};

// LocalAlloc'ed memory, security descriptors from BuildSecurityDescriptorA included.
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Empty() { return nullptr; }
  static void Release(TOs& os, Type memory) { os.LocalFree(memory); }
};

// Pipes, processes and threads: NULL when empty, unlike files.
struct KernelObjectTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Release(TOs& os, Type handle) { os.CloseHandle(handle); }
};

struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Empty() { return nullptr; }
  static void Release(TOs& os, Type handle) { os.CloseServiceHandle(handle); }
};

using UniqueKey = TUniqueOsResource<KeyTraits>;
using UniqueFindHandle = TUniqueOsResource<FindHandleTraits>;
using UniqueFileHandle = TUniqueOsResource<FileHandleTraits>;
using UniqueLocalMemory = TUniqueOsResource<LocalMemoryTraits>;
using UniqueKernelObject = TUniqueOsResource<KernelObjectTraits>;
using UniqueServiceHandle = TUniqueOsResource<ServiceHandleTraits>;
using UniqueSecurityDescriptor = UniqueLocalMemory;
