#include "plugin/host/host_log.h"

#include "plugin/state.h"

namespace velmora {

void LogInfo(const wchar_t* text) {
  HostLogger* logger = state::Logger;
  if (logger != nullptr && logger->Info != nullptr) logger->Info(logger, text);
}

void LogWarn(const wchar_t* text) {
  HostLogger* logger = state::Logger;
  if (logger != nullptr && logger->Warn != nullptr) logger->Warn(logger, text);
}

}  // namespace velmora
