// Ids of the module's resources, shared by the resource script and the code.
#pragma once

#define IDD_SETTINGS 100
