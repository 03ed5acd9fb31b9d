#include "plugin/host/lifetime.h"

#include <windows.h>

namespace velmora {

void PinModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&PinModule), &self);
}

void BeginLifetime() {
  if (state::StateLifetime != state::Lifetime.load()) state::ResetToLoadValues();
}

}  // namespace velmora
