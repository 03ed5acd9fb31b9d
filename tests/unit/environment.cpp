// In-process tests run the plug-in's code inside the test program, which
// stands in for the module: its instance registers the window class.
#include <gtest/gtest.h>

#include "plugin/host/host_state.h"

namespace {

class ModuleInstanceEnvironment : public testing::Environment {
 public:
  void SetUp() override { velmora::state::ModuleInstance = GetModuleHandleW(nullptr); }
};

const auto* const g_Environment = testing::AddGlobalTestEnvironment(new ModuleInstanceEnvironment);

}  // namespace
