#include "plugin/host/host_log.h"

#include "plugin/host/host_state.h"

namespace velmora {

void LogInfo(const Lifetime& of, const wchar_t* text) {
  HostLogger* logger = state::Logger;
  if (!of.Ended() && logger != nullptr && logger->Info != nullptr) logger->Info(logger, text);
}

void LogWarn(const Lifetime& of, const wchar_t* text) {
  HostLogger* logger = state::Logger;
  if (!of.Ended() && logger != nullptr && logger->Warn != nullptr) logger->Warn(logger, text);
}

}  // namespace velmora
