#include "plugin/host/lifetime.h"

#include <windows.h>

namespace velmora::lifetime {

void PinModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&PinModule), &self);
}

}  // namespace velmora::lifetime
